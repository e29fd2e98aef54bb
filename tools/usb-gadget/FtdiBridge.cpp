#include "usb-gadget/FtdiBridge.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace ftdibridge {
namespace {

// The bridge's base clock for the baud rate divisor: 48 MHz / 16.
constexpr double kBaseClock = 3'000'000.0;
// Divisors 0 and 1 are no divisors but the two top speeds.
constexpr double kDivisor0Baud = 3'000'000.0;
constexpr double kDivisor1Baud = 2'000'000.0;
// The three fraction bits of the divisor, in eighths, by their code.
constexpr int kFractionEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};
constexpr uint16_t kIntegerMask = 0x3FFF;

// What the drivers read of the bridge's EEPROM: the ids, and the CBUS pins'
// functions (words 0x0A and 0x0B: TXLED#, RXLED#, TXDEN, PWREN#, SLEEP#;
// none of them a GPIO).
constexpr int kEepromWords = 64;
uint16_t EepromWord(int index) {
    switch (index) {
        case 1:
            return 0x0403;
        case 2:
            return 0x6001;
        case 3:
            return 0x0600;
        case 0x0A:
            return 0x1023;
        case 0x0B:
            return 0x0005;
        default:
            return 0;
    }
}

QString Hex(uint8_t byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

// The line's level at `t` seconds after the start bit's edge of `byte`'s
// frame under `format` (idle high after the stop bits).
bool LevelAt(uint8_t byte, const LineFormat& format, double t) {
    const int bit = static_cast<int>(std::floor(t * format.baud));
    if (bit <= 0) return false;  // the start bit
    if (bit <= format.dataBits) return (byte >> (bit - 1)) & 1;
    if (format.parity != Parity::None && bit == format.dataBits + 1) {
        const int ones = std::popcount(static_cast<unsigned>(byte & ((1u << format.dataBits) - 1)));
        switch (format.parity) {
            case Parity::Odd:
                return ones % 2 == 0;
            case Parity::Even:
                return ones % 2 == 1;
            case Parity::Mark:
                return true;
            default:
                return false;
        }
    }
    return true;  // stop bits, then idle
}

}  // namespace

Clock::duration LineFormat::FrameTime() const {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(BitsPerFrame() / baud));
}

QString LineFormat::Describe() const {
    static constexpr char kParityLetters[] = "NOEMS";
    return QStringLiteral("%1 %2%3%4")
        .arg(std::lround(baud))
        .arg(dataBits)
        .arg(QLatin1Char(kParityLetters[static_cast<int>(parity)]))
        .arg(stopBits);
}

LineFormat WriterLine() {
    return LineFormat{4800, 8, Parity::None, 1};
}

double BaudFromDivisor(uint16_t value, uint16_t index) {
    const int integer = value & kIntegerMask;
    const int code = (value >> 14) | ((index & 1) << 2);
    const int eighths = kFractionEighths[code];
    if (integer == 0 && eighths == 0) return kDivisor0Baud;
    if (integer == 1 && eighths == 0) return kDivisor1Baud;
    return kBaseClock / (integer + eighths / 8.0);
}

std::optional<DataSetting> DecodeDataSetting(uint16_t value) {
    const int bits = value & 0xFF;
    const int parity = (value >> 8) & 0x7;
    const int stop = (value >> 11) & 0x7;
    if (bits < 7 || bits > 8 || parity > static_cast<int>(Parity::Space) || stop > 2)
        return std::nullopt;
    return DataSetting{bits, static_cast<Parity>(parity), stop == 0 ? 1 : 2, (value & 0x4000) != 0};
}

Received Resample(uint8_t byte, const LineFormat& tx, const LineFormat& rx) {
    auto sample = [&](int rxBit) { return LevelAt(byte, tx, (rxBit + 0.5) / rx.baud); };
    Received got{0, false, false};
    int ones = 0;
    for (int i = 0; i < rx.dataBits; ++i) {
        if (sample(1 + i)) {
            got.byte |= static_cast<uint8_t>(1u << i);
            ++ones;
        }
    }
    int next = 1 + rx.dataBits;
    if (rx.parity != Parity::None) {
        const bool level = sample(next++);
        bool expected = false;
        switch (rx.parity) {
            case Parity::Odd:
                expected = ones % 2 == 0;
                break;
            case Parity::Even:
                expected = ones % 2 == 1;
                break;
            case Parity::Mark:
                expected = true;
                break;
            default:
                break;
        }
        got.parityError = level != expected;
    }
    got.framingError = !sample(next);
    return got;
}

std::array<uint8_t, 2> StatusBytes(uint8_t modemStatus, uint8_t lineStatus) {
    return {static_cast<uint8_t>(modemStatus | status::kModemReserved), lineStatus};
}

Bridge::Bridge(Options options, Time start)
    : options_(std::move(options)),
      firmware_(options_.faults),
      txLineFree_(start),
      writerFree_(start),
      rxLineFree_(start),
      lastPacket_(start) {}

void Bridge::Trace(Time t, const QString& what) {
    if (options_.trace) options_.trace(t, what);
}

ControlReply Bridge::Control(const Setup& setup, Time now) {
    Advance(now);
    ControlReply reply;
    switch (setup.request) {
        case kReset:
            if (setup.value == kResetSio) {
                Purge(true, true, now);
                Trace(now, QStringLiteral("ctrl reset"));
            } else if (setup.value == kPurgeRx || setup.value == kPurgeTx) {
                Purge(setup.value == kPurgeRx, setup.value == kPurgeTx, now);
                Trace(now, setup.value == kPurgeRx ? QStringLiteral("ctrl purge rx")
                                                   : QStringLiteral("ctrl purge tx"));
            } else {
                reply.accepted = false;
            }
            break;
        case kModemCtrl: {
            // The high byte says which of DTR (bit 0) and RTS (bit 1) change.
            const uint8_t mask = setup.value >> 8;
            modemControl_ = static_cast<uint8_t>((modemControl_ & ~mask) | (setup.value & mask));
            Trace(now, QStringLiteral("ctrl modem dtr %1 rts %2")
                           .arg(modemControl_ & 1)
                           .arg((modemControl_ >> 1) & 1));
            break;
        }
        case kSetFlowCtrl:
            flowControl_ = setup.index & 0xFF00;
            Trace(now, QStringLiteral("ctrl flow %1")
                           .arg(flowControl_ == 0       ? QStringLiteral("none")
                                : flowControl_ == 0x100 ? QStringLiteral("rtscts")
                                : flowControl_ == 0x200 ? QStringLiteral("dtrdsr")
                                                        : QStringLiteral("xonxoff")));
            break;
        case kSetBaudRate:
            hostLine_.baud = BaudFromDivisor(setup.value, setup.index);
            Trace(now, QStringLiteral("ctrl baud %1").arg(hostLine_.baud, 0, 'f', 1));
            break;
        case kSetData: {
            const std::optional<DataSetting> data = DecodeDataSetting(setup.value);
            if (!data) {
                reply.accepted = false;
                break;
            }
            hostLine_.dataBits = data->dataBits;
            hostLine_.parity = data->parity;
            hostLine_.stopBits = data->stopBits;
            breakOn_ = data->breakOn;
            Trace(now, QStringLiteral("ctrl data %1%2")
                           .arg(hostLine_.Describe().section(u' ', 1),
                                breakOn_ ? QStringLiteral(" break") : QString()));
            break;
        }
        case kGetModemStatus: {
            const auto bytes = StatusBytes(0, LineStatus(now));
            reply.data = QByteArray(reinterpret_cast<const char*>(bytes.data()), 2);
            break;
        }
        case kSetEventChar:
            eventChar_ =
                (setup.value & 0x100) ? std::optional<uint8_t>(setup.value & 0xFF) : std::nullopt;
            Trace(now, eventChar_ ? QStringLiteral("ctrl event char %1").arg(Hex(*eventChar_))
                                  : QStringLiteral("ctrl event char off"));
            break;
        case kSetErrorChar:
            errorChar_ = setup.value & 0xFF;
            Trace(now, QStringLiteral("ctrl error char %1%2")
                           .arg(Hex(errorChar_),
                                (setup.value & 0x100) ? QString() : QStringLiteral(" off")));
            break;
        case kSetLatencyTimer:
            latencyMs_ = static_cast<uint8_t>(std::max(1, setup.value & 0xFF));
            Trace(now, QStringLiteral("ctrl latency %1").arg(setup.value & 0xFF));
            break;
        case kGetLatencyTimer:
            reply.data = QByteArray(1, static_cast<char>(latencyMs_));
            break;
        case kSetBitMode:
            Trace(now, QStringLiteral("ctrl bitmode %1 mask %2")
                           .arg(Hex(setup.value >> 8), Hex(setup.value & 0xFF)));
            break;
        case kReadPins:
            reply.data = QByteArray(1, static_cast<char>(0xFF));
            break;
        case kReadEeprom: {
            if (setup.index >= kEepromWords) {
                reply.accepted = false;
                break;
            }
            const uint16_t word = EepromWord(setup.index);
            reply.data.append(static_cast<char>(word & 0xFF));
            reply.data.append(static_cast<char>(word >> 8));
            break;
        }
        default:
            reply.accepted = false;
            Trace(now, QStringLiteral("ctrl refused %1").arg(Hex(setup.request)));
            break;
    }
    if (reply.accepted && !reply.data.isEmpty()) reply.data.truncate(setup.length);
    return reply;
}

void Bridge::Purge(bool rx, bool tx, Time now) {
    if (rx) {
        rxBuffer_.clear();
        overrun_ = false;
    }
    if (tx) {
        // What is still in the bridge goes; a character on the line ends.
        toWriter_.clear();
        txLineFree_ = std::max(txLineFree_, now);
    }
}

void Bridge::HostWrote(const uint8_t* data, int size, Time now) {
    Advance(now);
    for (int i = 0; i < size; ++i) toWriter_.push_back(Timed{data[i], now});
}

int Bridge::OutRoom(Time now) {
    Advance(now);
    return kTxBufferSize - static_cast<int>(toWriter_.size());
}

Time Bridge::OutRoomAt(Time now) {
    Advance(now);
    const int excess = static_cast<int>(toWriter_.size()) - (kTxBufferSize - kPacketSize);
    if (excess <= 0) return now;
    // Each character leaves one frame time after the one before it.
    return std::max(txLineFree_, now) + (excess - 1) * hostLine_.FrameTime() +
           hostLine_.FrameTime();
}

void Bridge::Advance(Time now) {
    const LineFormat writer = WriterLine();
    // Towards the Writer: a handshake the Writer's board never answers
    // (its CTS and DSR stay inactive) holds the bridge's bytes back.
    const bool held = flowControl_ == 0x100 || flowControl_ == 0x200;
    while (!held && !toWriter_.empty()) {
        const Time done = std::max(txLineFree_, toWriter_.front().due) + hostLine_.FrameTime();
        if (done > now) break;
        const Received got = Resample(toWriter_.front().byte, hostLine_, writer);
        toWriter_.pop_front();
        txLineFree_ = done;
        ++bytesToWriter_;
        Trace(done, QStringLiteral("w %1").arg(Hex(got.byte)));
        const FirmwareModel::Work before = firmware_.work();
        const QByteArray reply = firmware_.Receive(got.byte);
        const FirmwareModel::Work& after = firmware_.work();
        const Time ready =
            std::max(done, writerFree_) +
            (after.wordsProgrammed - before.wordsProgrammed) * options_.wordProgramTime +
            (after.eepromBytesWritten - before.eepromBytesWritten) * options_.eepromWriteTime +
            (after.bulkErases - before.bulkErases) * options_.bulkEraseTime;
        writerFree_ = ready;
        for (const char c : reply) {
            const Time arrives = std::max(ready, rxLineFree_) + writer.FrameTime();
            rxLineFree_ = arrives;
            fromWriter_.push_back(Timed{static_cast<uint8_t>(c), arrives});
        }
    }
    // Into the bridge, read with the host's setting of the line.
    while (!fromWriter_.empty() && fromWriter_.front().due <= now) {
        Timed in = fromWriter_.front();
        fromWriter_.pop_front();
        ++bytesFromWriter_;
        const Received got = Resample(in.byte, writer, hostLine_);
        in.byte = got.byte;
        in.framingError = got.framingError;
        in.parityError = got.parityError;
        Trace(in.due, QStringLiteral("r %1").arg(Hex(in.byte)));
        if (static_cast<int>(rxBuffer_.size()) >= kRxBufferSize) {
            overrun_ = true;
            continue;
        }
        rxBuffer_.push_back(in);
    }
}

uint8_t Bridge::LineStatus(Time now) const {
    uint8_t line = 0;
    if (toWriter_.empty()) line |= status::kTxHoldingEmpty;
    if (toWriter_.empty() && txLineFree_ <= now) line |= status::kTxEmpty;
    if (overrun_) line |= status::kOverrun;
    if (breakOn_) line |= status::kBreak;
    return line;
}

std::optional<QByteArray> Bridge::TakeInPacket(Time now, Time* wake) {
    Advance(now);
    const Time expiry = lastPacket_ + std::chrono::milliseconds(latencyMs_);
    const bool full = static_cast<int>(rxBuffer_.size()) >= kPacketData;
    const bool event =
        eventChar_ && std::any_of(rxBuffer_.begin(), rxBuffer_.end(),
                                  [this](const Timed& t) { return t.byte == *eventChar_; });
    if (!full && !event && now < expiry) {
        // The next time something can change: the timer, or the byte that
        // fills the packet or is the event character.
        Time next = expiry;
        const bool held = flowControl_ == 0x100 || flowControl_ == 0x200;
        if (!held && !toWriter_.empty())
            next = std::min(next,
                            std::max(txLineFree_, toWriter_.front().due) + hostLine_.FrameTime());
        const size_t missing = kPacketData - rxBuffer_.size();
        if (fromWriter_.size() >= missing) next = std::min(next, fromWriter_[missing - 1].due);
        if (eventChar_) {
            for (const Timed& t : fromWriter_) {
                if (t.byte == *eventChar_) {
                    next = std::min(next, t.due);
                    break;
                }
            }
        }
        *wake = next;
        return std::nullopt;
    }
    lastPacket_ = now;
    const int count = std::min<int>(kPacketData, static_cast<int>(rxBuffer_.size()));
    uint8_t line = LineStatus(now);
    QByteArray data;
    for (int i = 0; i < count; ++i) {
        const Timed& t = rxBuffer_.front();
        if (t.framingError) line |= status::kFramingError;
        if (t.parityError) line |= status::kParityError;
        data.append(static_cast<char>(t.byte));
        rxBuffer_.pop_front();
    }
    overrun_ = false;
    const auto head = StatusBytes(0, line);
    QByteArray packet(reinterpret_cast<const char*>(head.data()), kStatusBytes);
    packet += data;
    *wake = now;
    return packet;
}

}  // namespace ftdibridge
