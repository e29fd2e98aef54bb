#pragma once

#include <array>
#include <cstdint>

#include "link/Device.h"

class Host;
struct AppState;

// The Writer's command bytes.
namespace cmd {
inline constexpr uint8_t kSelectQLark = 'A';
inline constexpr uint8_t kSelectQLark2 = 'B';
inline constexpr uint8_t kAck = 'a';
inline constexpr uint8_t kNoBoard = '?';
inline constexpr uint8_t kWriteMode = 'W';
inline constexpr uint8_t kWriteAck = 'w';
inline constexpr uint8_t kSkip = 'I';
inline constexpr uint8_t kSkipAck = 'i';
inline constexpr uint8_t kProgramWord = 'D';
inline constexpr uint8_t kProgramConfig = 'G';
inline constexpr uint8_t kConfigAck = 'g';
inline constexpr uint8_t kReadProgram = 'R';
inline constexpr uint8_t kReadAck = 'r';
inline constexpr uint8_t kEraseProgram = 'L';
inline constexpr uint8_t kReadEeprom = 'X';
inline constexpr uint8_t kReadEepromAck = 'x';
inline constexpr uint8_t kEraseEeprom = 'F';
inline constexpr uint8_t kWriteEepromByte = 'V';
inline constexpr uint8_t kWriteEepromByteAck = 'v';
inline constexpr uint8_t kWriteEepromAll = 'M';
inline constexpr uint8_t kWriteEepromAllAck = 'm';
inline constexpr uint8_t kReadConfig = 'Y';
inline constexpr uint8_t kReadConfigAck = 'y';
inline constexpr uint8_t kVersion = '@';
inline constexpr uint8_t kPoll = 'S';
inline constexpr uint8_t kPollAck = 's';
inline constexpr uint8_t kCancel = 'C';
inline constexpr uint8_t kEnd = 'E';
}  // namespace cmd

// The link parameters every job sets after opening the Writer.
namespace linkparams {
inline constexpr uint32_t kPurgeMask = FT_PURGE_RX | FT_PURGE_TX;
inline constexpr uint32_t kReadTimeoutMs = 5000;
inline constexpr uint32_t kWriteTimeoutMs = 1000;
inline constexpr uint32_t kBaudRate = 4800;
inline constexpr uint8_t kWordLength = 8;
inline constexpr uint8_t kStopBits = 0;  // one stop bit
inline constexpr uint8_t kParity = 0;    // none
inline constexpr int kSettlePauseMs = 50;
}  // namespace linkparams

// One job's send and receive buffers. Replies are single bytes read into
// position 0 of the receive buffer, which is never cleared: a read that
// times out leaves the byte of the previous reply in place, and the jobs
// that judge only that byte see it again. `arrived` tells whether the byte
// really came; the jobs that must not mistake an old byte for a new one
// check it.
class LinkExchange {
  public:
    explicit LinkExchange(Device& device) : device_(device) {}

    struct Reply {
        FtStatus status = FT_OK;
        bool arrived = false;
        uint8_t byte = 0;  // the receive buffer's byte 0 after the read
        bool ok() const { return status == FT_OK; }
        // The expected byte arrived with this read.
        bool is(uint8_t expected) const { return ok() && arrived && byte == expected; }
    };

    FtStatus Send(uint8_t byte);
    FtStatus Send(std::array<uint8_t, 2> bytes);
    Reply Read();

    Device& device() { return device_; }

  private:
    Device& device_;
    uint8_t recv_ = 0;
};

// Opens the Writer by its description and sets the link parameters. Returns
// true on failure, after showing "USBライタの接続を確認してください" unless
// QuietOpen was set. Clears QuietOpen whatever the outcome.
bool OpenWriter(Device& device, Host& host, AppState& state);

// Selects the target board ('A' for Q-LARK, 'B' otherwise) and waits for the
// Writer's 'a', at most three attempts with the recovery bytes in between.
// Returns true on failure, after ReportWriterError(1). Never closes.
bool HandshakeWriter(Device& device, Host& host, const AppState& state);

// The link's standard failure message: code 2 for a target board that does
// not answer, anything else for a failed communication with the Writer.
void ReportWriterError(Host& host, int16_t code);
