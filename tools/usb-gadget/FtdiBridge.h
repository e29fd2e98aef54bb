#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "sim/FirmwareModel.h"

// The Writer's USB-serial bridge (an FT232R) as its USB host sees it: the
// vendor requests on endpoint 0, the bulk OUT bytes towards the Writer, and
// the bulk IN packets back, each headed by the two modem-status bytes. The
// Writer's firmware model sits on the far side of the bridge's serial line.
//
// Everything here is computed from the time points the caller hands in, so
// the same code runs on the steady clock in the gadget and on a virtual
// clock in tests.
namespace ftdibridge {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;

// The FTDI vendor requests (bRequest) the drivers send.
enum Request : uint8_t {
    kReset = 0x00,            // wValue 0: reset, 1: purge RX, 2: purge TX
    kModemCtrl = 0x01,        // DTR/RTS, with their mask in the high byte
    kSetFlowCtrl = 0x02,      // wIndex high byte: the handshake; wValue: XOFF<<8 | XON
    kSetBaudRate = 0x03,      // wValue and wIndex: the encoded divisor
    kSetData = 0x04,          // data bits, parity, stop bits, break
    kGetModemStatus = 0x05,   // IN: the two status bytes
    kSetEventChar = 0x06,     // low byte the character, bit 8 enables it
    kSetErrorChar = 0x07,     // the same for the error character
    kSetLatencyTimer = 0x09,  // wValue low byte: milliseconds
    kGetLatencyTimer = 0x0A,  // IN: one byte
    kSetBitMode = 0x0B,       // wValue: mode << 8 | pin mask
    kReadPins = 0x0C,         // IN: one byte
    kReadEeprom = 0x90,       // IN: the word at wIndex
};

enum ResetKind : uint16_t { kResetSio = 0, kPurgeRx = 1, kPurgeTx = 2 };

// The bridge's two status bytes: modem status, then line status.
namespace status {
inline constexpr uint8_t kModemReserved = 0x01;  // bit 0 of the modem status is always set
inline constexpr uint8_t kCts = 0x10;
inline constexpr uint8_t kDsr = 0x20;
inline constexpr uint8_t kRi = 0x40;
inline constexpr uint8_t kDcd = 0x80;
inline constexpr uint8_t kDataReady = 0x01;
inline constexpr uint8_t kOverrun = 0x02;
inline constexpr uint8_t kParityError = 0x04;
inline constexpr uint8_t kFramingError = 0x08;
inline constexpr uint8_t kBreak = 0x10;
inline constexpr uint8_t kTxHoldingEmpty = 0x20;
inline constexpr uint8_t kTxEmpty = 0x40;
}  // namespace status

// Full-speed bulk packets of 64 bytes: two status bytes and up to 62 data.
inline constexpr int kPacketSize = 64;
inline constexpr int kStatusBytes = 2;
inline constexpr int kPacketData = kPacketSize - kStatusBytes;
// The FT232R's buffers: from the line towards USB, and from USB to the line.
inline constexpr int kRxBufferSize = 256;
inline constexpr int kTxBufferSize = 128;
// The latency timer a bridge starts with.
inline constexpr uint8_t kDefaultLatencyMs = 16;

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

// A serial line's framing and speed.
struct LineFormat {
    double baud = 9600;  // a bridge's own speed before it is set
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;
    bool operator==(const LineFormat&) const = default;

    // Bit times of one character: start, data, parity, stop.
    int BitsPerFrame() const { return 1 + dataBits + (parity == Parity::None ? 0 : 1) + stopBits; }
    Clock::duration FrameTime() const;
    QString Describe() const;  // "4800 8N1"
};

// The line the Writer's firmware speaks.
LineFormat WriterLine();

// The baud rate of an FT232R's divisor as SET_BAUD_RATE carries it: 14 bits
// of integer divisor and a three-bit fraction of eighths (bits 14 and 15 of
// wValue, bit 0 of wIndex), of the 3 MHz base clock; 0 and 1 are 3 and 2 MBd.
double BaudFromDivisor(uint16_t value, uint16_t index);

// The word of SET_DATA: bits 0-7 the data bits, 8-10 the parity, 11-13 the
// stop bits (0: one, 1: one and a half, 2: two), bit 14 the break. Nothing
// for a setting no bridge has.
struct DataSetting {
    int dataBits;
    Parity parity;
    int stopBits;  // 1 or 2; one and a half is taken as two
    bool breakOn;
};
std::optional<DataSetting> DecodeDataSetting(uint16_t value);

// One character as a receiver set to `rx` reads it when a transmitter set to
// `tx` sends `byte`: the frame's levels sampled in the middle of each of the
// receiver's bit times, from the start bit's edge on. The same setting on
// both sides gives the byte back; another speed or framing garbles it as a
// wrong line would, one character for one.
struct Received {
    uint8_t byte;
    bool framingError;  // the stop bit was read as 0
    bool parityError;
    bool operator==(const Received&) const = default;
};
Received Resample(uint8_t byte, const LineFormat& tx, const LineFormat& rx);

// The two bytes at the head of every IN packet.
std::array<uint8_t, 2> StatusBytes(uint8_t modemStatus, uint8_t lineStatus);

// A control request as it arrives on endpoint 0.
struct Setup {
    uint8_t requestType;
    uint8_t request;
    uint16_t value;
    uint16_t index;
    uint16_t length;
};

struct ControlReply {
    bool accepted = true;  // false: stall the request
    QByteArray data;       // an IN request's answer
};

// The bridge and the Writer behind it.
class Bridge {
  public:
    struct Options {
        FaultPlan faults;
        // The PIC's programming times, charged before the reply to the
        // byte that made the Writer program a word, an EEPROM byte or erase.
        Clock::duration wordProgramTime{};
        Clock::duration eepromWriteTime{};
        Clock::duration bulkEraseTime{};
        // One line per event for the trace ("ctrl latency 1", "w 41", "r 61").
        std::function<void(Time, const QString&)> trace;
    };

    Bridge(Options options, Time start);

    // A vendor request from the host.
    ControlReply Control(const Setup& setup, Time now);

    // Bytes from the bulk OUT endpoint. They wait in the bridge's buffer
    // and cross the line one character time after the other.
    void HostWrote(const uint8_t* data, int size, Time now);
    // Room left in the bridge's buffer towards the line; the host's bytes
    // wait (the endpoint NAKs) while it is less than a packet.
    int OutRoom(Time now);
    // When the buffer next has room for a packet (now when it has).
    Time OutRoomAt(Time now);

    // The IN packet the bridge sends at `now`, if it sends one: when 62
    // bytes are waiting, an event character came, or the latency timer has
    // run out since the last packet (then with what there is, maybe only
    // the status). Otherwise nothing, and `wake` the time to ask again.
    std::optional<QByteArray> TakeInPacket(Time now, Time* wake);

    // The host's own view of the bridge's settings.
    uint8_t latencyMs() const { return latencyMs_; }
    const LineFormat& hostLine() const { return hostLine_; }
    FirmwareModel& firmware() { return firmware_; }
    // Counts of the bytes that crossed the line each way.
    int bytesToWriter() const { return bytesToWriter_; }
    int bytesFromWriter() const { return bytesFromWriter_; }

  private:
    struct Timed {
        uint8_t byte;
        Time due;
        bool framingError = false;
        bool parityError = false;
    };

    // Runs the line and the firmware up to `now`.
    void Advance(Time now);
    void Purge(bool rx, bool tx, Time now);
    void Trace(Time t, const QString& what);
    uint8_t LineStatus(Time now) const;

    Options options_;
    FirmwareModel firmware_;
    LineFormat hostLine_;
    uint8_t latencyMs_ = kDefaultLatencyMs;
    std::optional<uint8_t> eventChar_;
    uint8_t errorChar_ = 0;
    uint8_t modemControl_ = 0;  // DTR bit 0, RTS bit 1
    uint16_t flowControl_ = 0;
    bool breakOn_ = false;

    std::deque<Timed> toWriter_;    // host bytes in the bridge, each due at the Writer
    std::deque<Timed> fromWriter_;  // Writer bytes on their way, each due at the bridge
    std::deque<Timed> rxBuffer_;    // arrived at the bridge, not yet sent to the host
    Time txLineFree_;               // when the line to the Writer is free
    Time writerFree_;               // when the firmware has done its last work
    Time rxLineFree_;               // when the line from the Writer is free
    Time lastPacket_;
    bool overrun_ = false;
    int bytesToWriter_ = 0;
    int bytesFromWriter_ = 0;
};

}  // namespace ftdibridge
