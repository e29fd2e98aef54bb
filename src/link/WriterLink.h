#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "link/Device.h"
#include "link/protocol/Protocol.h"

class Host;
struct AppState;

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

    // Two data bytes read with one call, as the EEPROM and configuration
    // reads take them. Only a pair that arrived whole counts.
    struct Pair {
        FtStatus status = FT_OK;
        uint32_t received = 0;
        std::array<uint8_t, 2> bytes{};
        bool ok() const { return status == FT_OK; }
        bool complete() const { return ok() && received == 2; }
    };

    FtStatus Send(uint8_t byte);
    FtStatus Send(std::array<uint8_t, 2> bytes);
    Reply Read();
    Pair ReadPair();

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
// Returns true on failure, after ReportWriterError(kWriterLinkFailed). Never closes.
bool HandshakeWriter(Device& device, Host& host, const AppState& state);

// The error codes of the link's steps and of the jobs' own exchanges, as
// ReportWriterError takes them.
enum WriterError : int16_t {
    kWriterOk = 0,
    kWriterLinkFailed = 1,  // communication with the Writer failed
    kWriterNoBoard = 2,     // the Writer reaches no target board (it answered '?')
};

// A byte of a recovery sequence and the pause after it.
struct RecoveryStep {
    uint8_t byte;
    int pauseMs = 0;
};

// How a command is started: its byte goes out and its reply is read, and
// the command has started when the reply is `ack`. A driver error on the
// read ends the start at once. Any other reply is followed by the recovery
// sequence and, while attempts are left, the command again. The reply is
// judged on the receive buffer's byte: a read that times out is judged on
// the byte of the previous reply.
struct CommandStart {
    uint8_t command;
    uint8_t ack;
    std::span<const RecoveryStep> recovery;
    int attempts = kCommandAttempts;
    // The pause between the command and the read of its reply.
    int replyPauseMs = 0;
    // Pending window events are processed after that pause (the handshake).
    bool processEvents = false;
    // '?' is the Writer's "no target board": 'S' is sent and the start ends.
    // Without it '?' is any other reply (the handshake).
    bool noBoardReply = true;
    // After the recovery bytes one byte is read and let go (the handshake).
    bool readAfterRecovery = false;
};

// Starts `start` on an open Writer. Returns kWriterOk when the Writer took
// the command, else the code for ReportWriterError; shows nothing and never
// closes.
WriterError StartCommand(LinkExchange& link, Host& host, const CommandStart& start);

// The recovery sequences of the commands.
namespace recovery {
// The handshake: 'S', 'C', 'E', each followed by the recovery pause.
inline constexpr RecoveryStep kHandshake[] = {{cmd::kPoll, pauses::kRecoveryMs},
                                              {cmd::kCancel, pauses::kRecoveryMs},
                                              {cmd::kEnd, pauses::kRecoveryMs}};
// The program memory's write and read: 'S', 'C', the pause, 'E'.
inline constexpr RecoveryStep kPollCancelEnd[] = {
    {cmd::kPoll}, {cmd::kCancel, pauses::kRecoveryMs}, {cmd::kEnd}};
// The erase and the configuration read: 'C', the pause, 'E'.
inline constexpr RecoveryStep kCancelEnd[] = {{cmd::kCancel, pauses::kRecoveryMs}, {cmd::kEnd}};
// The EEPROM read: 'C' alone.
inline constexpr RecoveryStep kCancel[] = {{cmd::kCancel}};
// The EEPROM erase: 'C', the pause, 'S'.
inline constexpr RecoveryStep kCancelPoll[] = {{cmd::kCancel, pauses::kRecoveryMs}, {cmd::kPoll}};
}  // namespace recovery

// The link's standard failure message: kWriterNoBoard for a target board
// that does not answer, any other code for a failed communication with the
// Writer.
void ReportWriterError(Host& host, int16_t code);
