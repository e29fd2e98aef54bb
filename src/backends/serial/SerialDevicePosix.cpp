// The serial backend on Linux and macOS: a tty through termios and poll().

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <chrono>

#include "backends/serial/PosixTty.h"
#include "backends/serial/SerialDevice.h"

namespace {

using posixtty::ErrnoText;
using SteadyTime = std::chrono::steady_clock;

// Milliseconds left until `deadline`, rounded up so that poll() never wakes
// before it; 0 once it has passed.
int MsUntil(SteadyTime::time_point deadline) {
    const auto left = deadline - SteadyTime::now();
    if (left <= SteadyTime::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// Waits until `fd` is ready for `events` or the deadline passes; returns
// poll()'s revents (0 on time-out), or -1 with errno set.
int WaitFor(int fd, short events, SteadyTime::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, MsUntil(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return -1;
        return ready == 0 ? 0 : entry.revents;
    }
}

}  // namespace

SerialDevice::SerialDevice(Options options) : options_(std::move(options)) {}

SerialDevice::~SerialDevice() {
    if (isOpen()) Close();
}

bool SerialDevice::isOpen() const {
    return fd_ >= 0;
}

FtStatus SerialDevice::OpenEx(const QByteArray& description) {
    QString path;
    if (const FtStatus status = ChoosePort(description, &path); status != FT_OK) return status;

    const QByteArray nativePath = QFile::encodeName(path);
    const int fd = ::open(nativePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        QString why = QStringLiteral("%1: %2").arg(path, ErrnoText(error));
        if (error == EACCES || error == EPERM)
            return Fail(FT_NO_PERMISSION, why + QStringLiteral(" (install the udev rule "
                                                               "70-qlark-writer.rules or join the "
                                                               "dialout group, then unplug and "
                                                               "plug in the Writer again; run "
                                                               "qlarkw-cli doctor)"));
        return Fail(error == ENOENT || error == ENXIO ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED,
                    why);
    }
    auto refuse = [&](const QString& why) {
        ::close(fd);
        return Fail(FT_DEVICE_NOT_OPENED, QStringLiteral("%1: %2").arg(path, why));
    };
    if (!::isatty(fd)) return refuse(QStringLiteral("not a serial port"));
    // Exclusive: the advisory lock keeps out other programs that lock as we
    // do, TIOCEXCL every further open of the tty (root excepted).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return refuse(error == EWOULDBLOCK ? QStringLiteral("in use by another program")
                                           : ErrnoText(error));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) return refuse(ErrnoText(errno));

    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return refuse(ErrnoText(errno));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // A read returns what is there at once; the deadline loop does the
    // waiting (VTIME cannot time out a read of more than one byte as a whole).
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B4800);
    ::cfsetospeed(&tio, B4800);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return refuse(ErrnoText(errno));
    fd_ = fd;
    readTimeoutMs_ = 0;
    writeTimeoutMs_ = 0;
    return FT_OK;
}

FtStatus SerialDevice::Purge(uint32_t mask) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    const bool rx = (mask & FT_PURGE_RX) != 0;
    const bool tx = (mask & FT_PURGE_TX) != 0;
    if (!rx && !tx) return FT_OK;
    const int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    if (::tcflush(fd_, queue) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    return FT_OK;
}

FtStatus SerialDevice::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return FT_OK;
}

FtStatus SerialDevice::SetBaudRate(uint32_t baud) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    const speed_t speed = posixtty::SpeedFor(baud);
    if (speed == B0)
        return Fail(FT_INVALID_BAUD_RATE, QStringLiteral("%1 baud is not a tty speed").arg(baud));
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    return FT_OK;
}

FtStatus SerialDevice::SetLineSetting(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    using namespace d2xxcodes;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
    tio.c_cflag |= wordLength == kBits7 ? CS7 : CS8;
    if (stopBits == kStopBits2) tio.c_cflag |= CSTOPB;
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    switch (parity) {
        case kParityNone:
            break;
        case kParityOdd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case kParityEven:
            tio.c_cflag |= PARENB;
            break;
#ifdef CMSPAR
        case kParityMark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kParitySpace:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
#endif
        default:
            return Fail(FT_INVALID_PARAMETER,
                        QStringLiteral("this system's ttys have no mark or space parity"));
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    return FT_OK;
}

FtStatus SerialDevice::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    using namespace d2xxcodes;
    if (!isOpen()) return FT_INVALID_HANDLE;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    switch (flow) {
        case kFlowNone:
            break;
        case kFlowRtsCts:
            tio.c_cflag |= CRTSCTS;
            break;
        case kFlowXonXoff:
            tio.c_iflag |= IXON | IXOFF;
            tio.c_cc[VSTART] = xon;
            tio.c_cc[VSTOP] = xoff;
            break;
        default:
            return Fail(FT_INVALID_PARAMETER,
                        QStringLiteral("flow control 0x%1 is not available on a tty")
                            .arg(flow, 4, 16, QLatin1Char('0')));
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return Fail(FT_IO_ERROR, ErrnoText(errno));
    return FT_OK;
}

FtStatus SerialDevice::SetLatencyTimer(uint8_t ms) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    QStringList missed;
    bool set = false;
#ifdef __linux__
    // The usb-serial port's attribute: <sysfs>/class/tty/ttyUSBn/device/latency_timer.
    const QString name = QFileInfo(QFileInfo(portPath_).canonicalFilePath()).fileName();
    const QString attribute =
        QStringLiteral("%1/class/tty/%2/device/latency_timer").arg(options_.sysfsRoot, name);
    if (!name.isEmpty() && QFileInfo::exists(attribute)) {
        QFile file(attribute);
        if (file.open(QIODevice::WriteOnly | QIODevice::Text) &&
            file.write(QByteArray::number(ms) + '\n') > 0 && file.flush())
            set = true;
        else
            missed << QStringLiteral("%1: %2").arg(attribute, file.errorString());
    }
    // The low-latency flag means a 1 ms timer to FTDI's driver; without it
    // the driver uses the attribute's value. Any user may change it.
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
        const bool low = ms <= 1;
        if (low || set) {
            if (low)
                serial.flags |= ASYNC_LOW_LATENCY;
            else
                serial.flags &= ~ASYNC_LOW_LATENCY;
            if (::ioctl(fd_, TIOCSSERIAL, &serial) == 0)
                set = set || low;
            else
                missed << QStringLiteral("the low-latency flag: %1").arg(ErrnoText(errno));
        }
    } else {
        missed << QStringLiteral("no serial port settings (%1)").arg(ErrnoText(errno));
    }
#else
    (void)ms;
    missed << QStringLiteral("this system has no call for it");
#endif
    if (set) return FT_OK;
    return Fail(FT_NOT_SUPPORTED, QStringLiteral("%1: cannot set the latency timer: %2")
                                      .arg(portPath_, missed.join(QStringLiteral("; "))));
}

FtStatus SerialDevice::Write(const uint8_t* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    const auto deadline = SteadyTime::now() + std::chrono::milliseconds(writeTimeoutMs_);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (written) *written = done;
            return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, ErrnoText(errno)));
        }
        const int ready = WaitFor(fd_, POLLOUT, deadline);
        if (ready < 0 || (ready & (POLLERR | POLLHUP | POLLNVAL))) {
            if (written) *written = done;
            return Fail(FT_IO_ERROR, QStringLiteral("%1: the line hung up").arg(portPath_));
        }
        if (ready == 0) break;  // write time-out: fewer bytes, as D2XX reports it
    }
    if (written) *written = done;
    return FT_OK;
}

FtStatus SerialDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    const auto deadline = SteadyTime::now() + std::chrono::milliseconds(readTimeoutMs_);
    uint32_t got = 0;
    auto hungUp = [&]() {
        if (received) *received = got;
        return Fail(FT_IO_ERROR,
                    QStringLiteral("%1: the line hung up (Writer unplugged or simulator ended)")
                        .arg(portPath_));
    };
    while (got < size) {
        const ssize_t n = ::read(fd_, data + got, size - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            continue;
        }
        // With VMIN 1 and O_NONBLOCK, 0 is end of file: the tty hung up.
        if (n == 0) return hungUp();
        if (errno == EINTR) continue;
        if (errno == EIO) return hungUp();
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            if (received) *received = got;
            return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, ErrnoText(errno)));
        }
        const int ready = WaitFor(fd_, POLLIN, deadline);
        if (ready < 0) {
            if (received) *received = got;
            return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, ErrnoText(errno)));
        }
        if (ready == 0) break;  // time-out: OK with fewer bytes
        if ((ready & (POLLHUP | POLLERR | POLLNVAL)) && !(ready & POLLIN)) return hungUp();
    }
    if (received) *received = got;
    return FT_OK;
}

FtStatus SerialDevice::Close() {
    if (!isOpen()) return FT_INVALID_HANDLE;
    // The exclusive mark stays with the tty when another program still holds
    // it open (qlarkw-sim holds its pty): take it off again.
    ::ioctl(fd_, TIOCNXCL);
    const int result = ::close(fd_);
    fd_ = -1;
    if (result != 0 && errno != EINTR)
        return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, ErrnoText(errno)));
    return FT_OK;
}
