#include "qlarkw-sim/PtyServer.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "backends/serial/PosixTty.h"
#include "sim/ChipStateFile.h"

namespace {

// "<what>: <errno's text>", for the failure that has just set errno.
QString SystemError(const char* what) {
    const int error = errno;
    return QStringLiteral("%1: %2").arg(QLatin1String(what), posixtty::ErrnoText(error));
}

QString Hex(uint8_t byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

#ifndef __linux__
bool SameWork(const FirmwareModel::Work& a, const FirmwareModel::Work& b) {
    return a.wordsProgrammed == b.wordsProgrammed && a.eepromBytesWritten == b.eepromBytesWritten &&
           a.bulkErases == b.bulkErases;
}
#endif

}  // namespace

PtyServer::PtyServer(Options options) : options_(std::move(options)), firmware_(options_.faults) {}

PtyServer::~PtyServer() {
    if (linkMade_) ::unlink(QFile::encodeName(options_.linkPath).constData());
    if (watch_ >= 0) ::close(watch_);
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool PtyServer::Start(QString* error) {
    if (!options_.statePath.isEmpty()) {
        QString why;
        const std::optional<ChipMemory> chip = chipstate::Load(options_.statePath, &why);
        if (!chip || !chipstate::Save(options_.statePath, *chip, &why)) {
            *error = QStringLiteral("QLARKW_SIM_STATE: ") + why;
            return false;
        }
        firmware_.chip() = *chip;
    }
    if (!options_.tracePath.isEmpty()) {
        QString why;
        if (trace_.Open(options_.tracePath, &why) != outputfile::Error::None) {
            *error = QStringLiteral("QLARKW_SIM_TRACE: ") + why;
            return false;
        }
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = SystemError("cannot create a pseudo-terminal");
        return false;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    const char* name = ::ptsname(master_);
    if (!name) {
        *error = SystemError("ptsname");
        return false;
    }
    ptyPath_ = QFile::decodeName(name);
    // Hold the slave side: raw from the start (no echo before the program
    // sets the line up), and never hung up between two jobs.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        *error = SystemError(name);
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, posixtty::SpeedFor(linkparams::kBaudRate));
        ::cfsetospeed(&tio, posixtty::SpeedFor(linkparams::kBaudRate));
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
#ifdef __linux__
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 ||
        ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        *error = SystemError("inotify");
        return false;
    }
#endif
    idleSince_ = sessionStart_ = Clock::now();
    return true;
}

bool PtyServer::MakeLink(QString* error) {
    if (options_.linkPath.isEmpty()) return true;
    const QByteArray link = QFile::encodeName(options_.linkPath);
    // Replace only an old link; never a file.
    if (QFileInfo(options_.linkPath).isSymLink()) ::unlink(link.constData());
    if (::symlink(QFile::encodeName(ptyPath_).constData(), link.constData()) != 0) {
        *error = SystemError(link.constData());
        return false;
    }
    linkMade_ = true;
    return true;
}

void PtyServer::Trace(const QString& what) {
    if (!trace_.isOpen()) return;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sessionStart_);
    QString why;
    if (!trace_.Append(QStringLiteral("%1 %2\n").arg(ms.count()).arg(what).toUtf8(), &why)) {
        if (failure_.isEmpty()) failure_ = QStringLiteral("QLARKW_SIM_TRACE: ") + why;
        trace_.Close();
    }
}

QString PtyServer::LineSettings() const {
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) return QStringLiteral("line unknown");
    const uint32_t baud = posixtty::BaudOf(::cfgetospeed(&tio));
    const int bits = (tio.c_cflag & CSIZE) == CS8 ? 8 : (tio.c_cflag & CSIZE) == CS7 ? 7 : 6;
    const char parity = !(tio.c_cflag & PARENB) ? 'N' : (tio.c_cflag & PARODD) ? 'O' : 'E';
    const int stop = (tio.c_cflag & CSTOPB) ? 2 : 1;
    const bool raw = !(tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN)) &&
                     !(tio.c_oflag & OPOST) &&
                     !(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK | INPCK));
    QString flow = QStringLiteral("none");
    if (tio.c_cflag & CRTSCTS) flow = QStringLiteral("rtscts");
    if (tio.c_iflag & (IXON | IXOFF)) flow = QStringLiteral("xonxoff");
    return QStringLiteral("line %1 %2%3%4 %5 %6")
        .arg(baud)
        .arg(bits)
        .arg(QLatin1Char(parity))
        .arg(stop)
        .arg(raw ? QStringLiteral("raw") : QStringLiteral("cooked"), flow);
}

bool PtyServer::SaveChip() {
    if (options_.statePath.isEmpty()) return true;
    QString error;
    if (chipstate::Save(options_.statePath, firmware_.chip(), &error)) return true;
    if (failure_.isEmpty()) failure_ = QStringLiteral("QLARKW_SIM_STATE: ") + error;
    return false;
}

bool PtyServer::ReadFromProgram(Clock::time_point now, QString* error) {
    uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) {
                Timed in{buffer[i], now};
                if (options_.realPace) {
                    // The byte has crossed the line 10 bit times after the
                    // one before it did, or after it came, whichever is later.
                    in.due = std::max(now, rxLineFree_) + kByteTime;
                    rxLineFree_ = in.due;
                }
                incoming_.push_back(in);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        // The slave is held open, so the master never sees the end of file.
        *error =
            n == 0 ? QStringLiteral("the pseudo-terminal closed") : SystemError("reading the pty");
        return false;
    }
}

void PtyServer::TakeByte(const Timed& in) {
    if (firstByte_) {
        firstByte_ = false;
        Trace(LineSettings());
    }
    Trace(QStringLiteral("w ") + Hex(in.byte));
    const FirmwareModel::Work before = firmware_.work();
    const QByteArray reply = firmware_.Receive(in.byte);
    const FirmwareModel::Work& after = firmware_.work();
    Clock::time_point ready = in.due;
    if (options_.realPace) {
        ready = std::max(in.due, firmwareFree_) +
                (after.wordsProgrammed - before.wordsProgrammed) * kWordProgramTime +
                (after.eepromBytesWritten - before.eepromBytesWritten) * kEepromWriteTime +
                (after.bulkErases - before.bulkErases) * kBulkEraseTime;
        firmwareFree_ = ready;
    }
#ifndef __linux__
    // Without word of the program's close, keep the file up to date at once.
    if (!SameWork(before, after)) SaveChip();
#endif
    for (const char c : reply) {
        Clock::time_point atBridge = ready;
        if (options_.realPace) {
            atBridge = std::max(ready, txLineFree_) + kByteTime;
            txLineFree_ = atBridge;
        }
        outgoing_.push_back(Timed{static_cast<uint8_t>(c), LatencyExpiry(atBridge)});
    }
}

PtyServer::Clock::time_point PtyServer::LatencyExpiry(Clock::time_point t) const {
    const Clock::duration period = options_.latency;
    if (period <= Clock::duration::zero() || t <= sessionStart_) return t;
    const auto periods = (t - sessionStart_ + period - Clock::duration(1)) / period;
    return sessionStart_ + periods * period;
}

bool PtyServer::SendDue(Clock::time_point now, bool* blocked, QString* error) {
    *blocked = false;
    uint8_t buffer[512];
    while (!outgoing_.empty() && outgoing_.front().due <= now) {
        size_t n = 0;
        while (n < sizeof buffer && n < outgoing_.size() && outgoing_[n].due <= now)
            buffer[n] = outgoing_[n].byte, ++n;
        const ssize_t sent = ::write(master_, buffer, n);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            *blocked = true;  // the program does not read: wait until it does
            return true;
        }
        if (sent < 0) {
            *error = SystemError("writing the pty");
            return false;
        }
        for (ssize_t i = 0; i < sent; ++i) {
            Trace(QStringLiteral("r ") + Hex(outgoing_.front().byte));
            outgoing_.pop_front();
        }
    }
    return true;
}

void PtyServer::PeerOpened(Clock::time_point now) {
    if (peers_++ > 0) return;
    sessionStart_ = now;
    firstByte_ = true;
    Trace(QStringLiteral("open"));
}

void PtyServer::PeerClosed(Clock::time_point now) {
    if (peers_ == 0 || --peers_ > 0) return;
    // Bytes still on their way are left alone: they may already belong to
    // the next program, and a program purges the line when it opens it.
    SaveChip();
    Trace(QStringLiteral("close"));
    idleSince_ = now;
}

void PtyServer::HandleWatchEvents(Clock::time_point now, QString* error) {
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) *error = SystemError("inotify");
            return;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_OPEN) PeerOpened(now);
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) PeerClosed(now);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        // Nobody has the tty: take off an exclusive mark that a program
        // ended without removing, or the next program could not open it.
        if (peers_ == 0) ::ioctl(slave_, TIOCNXCL);
    }
#else
    (void)now;
    (void)error;
#endif
}

bool PtyServer::Run(int stopFd, QString* error) {
    bool blocked = false;
    for (;;) {
        // The state or the trace could not be written: the Writer ends
        // rather than serve on without them.
        if (!failure_.isEmpty()) break;
        const Clock::time_point now = Clock::now();
        while (!incoming_.empty() && incoming_.front().due <= now) {
            TakeByte(incoming_.front());
            incoming_.pop_front();
        }
        if (!SendDue(now, &blocked, error)) break;

        // Sleep until the next byte is due, something arrives or the
        // program opens or closes the tty.
        std::optional<Clock::time_point> wake;
        auto earliest = [&wake](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
        if (!incoming_.empty()) earliest(incoming_.front().due);
        if (!outgoing_.empty() && !blocked) earliest(outgoing_.front().due);
        if (options_.idleExit && peers_ == 0) {
            const Clock::time_point deadline = idleSince_ + *options_.idleExit;
            if (deadline <= now) break;
            earliest(deadline);
        }
        // The wait ends at the deadline to the nanosecond: a time-out in
        // whole milliseconds would add up to a second over a write's
        // two thousand round trips.
        timespec timeout{};
        if (wake) {
            const auto left = std::max(Clock::duration::zero(), *wake - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        pollfd fds[3] = {{master_, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {stopFd, POLLIN, 0},
                         {watch_, POLLIN, 0}};
#if defined(__linux__) || defined(__FreeBSD__)
        const int ready = ::ppoll(fds, watch_ >= 0 ? 3 : 2, wake ? &timeout : nullptr, nullptr);
#else
        // No ppoll() here: whole milliseconds, rounded up.
        const int timeoutMs =
            wake ? static_cast<int>(timeout.tv_sec * 1000 + (timeout.tv_nsec + 999'999) / 1'000'000)
                 : -1;
        const int ready = ::poll(fds, watch_ >= 0 ? 3 : 2, timeoutMs);
#endif
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            *error = SystemError("poll");
            break;
        }
        const Clock::time_point woke = Clock::now();
        if (fds[1].revents) {
            // Stopped by a signal: take in what the program has done up to
            // now (a close it made just before) and end.
            if (watch_ >= 0) HandleWatchEvents(woke, error);
            break;
        }
        if ((fds[0].revents & POLLIN) && !ReadFromProgram(woke, error)) break;
        if (fds[0].revents & POLLOUT) blocked = false;
        if (watch_ >= 0 && (fds[2].revents & POLLIN)) {
            HandleWatchEvents(woke, error);
            if (!error->isEmpty()) break;
        }
    }
    SaveChip();
    if (error->isEmpty()) *error = failure_;
    return error->isEmpty();
}
