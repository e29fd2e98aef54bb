#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

#include "link/protocol/Protocol.h"
#include "sim/FirmwareModel.h"
#include "shared/OutputFile.h"

// The Writer's firmware model served on a pseudo-terminal, so that the
// program's serial backend talks to it as to a real Writer.
//
// The server keeps the pty's slave side open itself: the tty then survives
// the program opening and closing it for every job, and its settings stay
// readable. It learns of the program's opens and closes from inotify.
//
// Pace. A pty moves bytes at once, whatever baud rate is set, so at real
// pace the server spends the line's time itself: 10 bit times per byte at
// 4800 baud in each direction, and the PIC16F84A's programming times before
// the reply to a word, an EEPROM byte or an erase. Everything is scheduled
// on the steady clock against absolute deadlines and waited for in ppoll()
// to the nanosecond; nothing spins.
//
// Latency. A pty carries no call for the bridge's latency timer, so the
// timer's setting is the server's: a reply that has crossed the line waits
// in the bridge until the timer, which runs with its period from the
// program's open of the tty, next expires. (At 4800 baud the bridge's USB
// packet never fills before the timer expires, so nothing goes earlier.)
//
// The chip. Loaded from the state file when the server starts and saved
// back at once (a chip that cannot be kept stops the start), saved to it
// whenever the program closes the tty and when the server ends. A save that
// fails ends the server with the reason; the file is left as it was.
//
// Trace. One line per event, "<ms> <what>", the time counted from the
// program's last open of the tty (from the start before any):
//   open / close                the program opened or closed the tty
//   line 4800 8N1 raw none      the tty's settings when the first byte came
//   w 41                        a byte the program wrote, as the Writer took it
//   r 61                        a byte the Writer sent, as it left the line
// Something other than a regular file as the trace is refused at the start;
// a trace that cannot be written ends the server with the reason.
class PtyServer {
  public:
    // The line and the PIC's timings used at real pace.
    static constexpr std::chrono::nanoseconds kByteTime{
        std::chrono::nanoseconds(std::chrono::seconds(linkparams::kBitsPerByte)) /
        linkparams::kBaudRate};
    // PIC16F84A, typical: erase/write cycle of a program word (also the
    // configuration word) and of a data EEPROM byte; a bulk erase.
    static constexpr std::chrono::microseconds kWordProgramTime{4000};
    static constexpr std::chrono::microseconds kEepromWriteTime{4000};
    static constexpr std::chrono::microseconds kBulkEraseTime{8000};

    struct Options {
        bool realPace = true;
        QString statePath;
        QString tracePath;
        FaultPlan faults;
        // The bridge's latency timer; 0: replies leave as they come.
        std::chrono::milliseconds latency{0};
        // A symbolic link made to the pty, removed at the end (optional).
        QString linkPath;
        // End when no program has had the tty open for this long (since
        // the start or the last close); nothing: run until stopped.
        std::optional<std::chrono::milliseconds> idleExit;
    };

    explicit PtyServer(Options options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pty and loads the chip. False with `error` set on failure.
    // Leaves nothing behind in the file system to be cleaned up, so the
    // process may end at any point of it.
    bool Start(QString* error);
    // After Start: the symbolic link to the pty, when the options ask for
    // one. False with `error` set on failure.
    bool MakeLink(QString* error);
    QString ptyPath() const { return ptyPath_; }

    // Serves until `stopFd` becomes readable (the signal handler writes to
    // it) or the idle time runs out. Saves the chip before it returns.
    // Returns false with `error` set when the pty fails, or the state or
    // the trace cannot be written.
    bool Run(int stopFd, QString* error);

    const FirmwareModel& firmware() const { return firmware_; }

  private:
    using Clock = std::chrono::steady_clock;
    struct Timed {
        uint8_t byte;
        Clock::time_point due;
    };

    bool ReadFromProgram(Clock::time_point now, QString* error);
    // The first expiry of the latency timer at or after `t`.
    Clock::time_point LatencyExpiry(Clock::time_point t) const;
    void TakeByte(const Timed& in);
    bool SendDue(Clock::time_point now, bool* blocked, QString* error);
    void HandleWatchEvents(Clock::time_point now, QString* error);
    void PeerOpened(Clock::time_point now);
    void PeerClosed(Clock::time_point now);
    // False, with `failure_` set, when the chip cannot be saved.
    bool SaveChip();
    QString LineSettings() const;
    void Trace(const QString& what);

    Options options_;
    FirmwareModel firmware_;
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    QString ptyPath_;
    outputfile::AppendFile trace_;
    QString failure_;  // why the state or the trace could not be written
    bool linkMade_ = false;

    std::deque<Timed> incoming_;  // taken from the pty, not yet through the line
    std::deque<Timed> outgoing_;  // replies on their way to the program
    Clock::time_point rxLineFree_{};
    Clock::time_point firmwareFree_{};
    Clock::time_point txLineFree_{};
    int peers_ = 0;
    bool firstByte_ = true;
    Clock::time_point sessionStart_{};
    Clock::time_point idleSince_{};
};
