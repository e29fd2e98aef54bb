#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "link/DeviceBase.h"
#include "sim/FirmwareModel.h"
#include "shared/OutputFile.h"

class Clock;

// The simulated Writer in-process: the firmware model behind the Device
// calls. Replies are ready as soon as the command is written; a read that
// asks for more than the Writer has sent waits its full time-out on the
// clock and returns what there is.
//
// The driver's faults of the plan are shown here: a read that fails
// (readerror), a read for which nothing arrives (drop), a Writer unplugged
// for good (gone), an open or a close that fails.
//
// Options (the `sim` backend takes them from the environment):
//  - statePath: the chip is loaded from this HEX image at every open and
//    saved back at every close that follows a change, so separate runs see
//    the same chip. The open saves it at once as well: a chip that cannot
//    be kept (a full disk, a folder that cannot be written, something
//    other than a regular file there) fails the open, before any job has
//    changed it, and the file is left as it was;
//  - tracePath: one line appended per call, "<ms since open> <call>". A
//    trace that cannot be written fails the call that could not trace and
//    every call after it, as a Writer that is gone fails them.
class SimDevice final : public DeviceBase {
  public:
    struct Options {
        QString statePath;
        QString tracePath;
        FaultPlan faults;
        // The bridge's latency timer before the program sets it, in ms.
        uint8_t latencyMs = 0;
        // Receives each trace line (without its line end) as well; tests
        // read the wire from it.
        std::function<void(const QString&)> traceSink;
    };

    SimDevice(Clock& clock, Options options);
    ~SimDevice() override;

    FtStatus OpenEx(const QByteArray& description) override;
    FtStatus Purge(uint32_t mask) override;
    FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override;
    FtStatus SetBaudRate(uint32_t baud) override;
    FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override;
    FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override;
    FtStatus SetLatencyTimer(uint8_t ms) override;
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override;
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override;
    FtStatus Close() override;

    FirmwareModel& firmware() { return firmware_; }
    bool isOpen() const override { return open_; }
    int openCount() const { return openCount_; }
    int closeCount() const { return closeCount_; }
    // Device calls so far, as gone=N counts them, and read calls, as
    // readerror=N and drop=N count them.
    int callCount() const { return callCount_; }
    int readCount() const { return readCount_; }
    // The bridge's latency timer as it is set now.
    uint8_t latencyMs() const { return latencyMs_; }

  private:
    bool Tracing() const { return trace_.isOpen() || options_.traceSink; }
    void Trace(const QString& line);
    // Counts the call; true when the Writer has been unplugged by now, or
    // its trace could not be written.
    bool Gone();
    QString GoneWhy() const;
    // A setting call: refused while closed, fails once the Writer is gone.
    FtStatus Setting(const QString& what);
    static QString HexBytes(const uint8_t* data, uint32_t size);
    // The first expiry of the latency timer at or after `ms`.
    int64_t NextLatencyExpiry(int64_t ms) const;

    Clock& clock_;
    Options options_;
    FirmwareModel firmware_;
    QByteArray pending_;  // bytes the Writer has sent and the PC not yet read
    outputfile::AppendFile trace_;
    QString traceError_;    // why the trace could not be written
    ChipMemory savedChip_;  // the chip as the state file holds it
    bool open_ = false;
    int64_t openedAt_ = 0;
    uint32_t readTimeoutMs_ = 0;  // until set, reads do not wait
    uint8_t latencyMs_ = 0;
    int64_t latencySince_ = 0;    // when the timer was started with its period
    int64_t repliesCrossAt_ = 0;  // when what is pending reaches the PC
    int callCount_ = 0;
    int readCount_ = 0;
    int openCount_ = 0;
    int closeCount_ = 0;
};
