#pragma once

#include <array>
#include <cstdint>

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

// The link's standard failure message: kWriterNoBoard for a target board
// that does not answer, any other code for a failed communication with the
// Writer.
void ReportWriterError(Host& host, int16_t code);
