#include "cli/SerialNumbers.h"

#include <QFile>
#include <QStringList>
#include <algorithm>

#include "shared/OutputFile.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cli {
namespace {

constexpr qint64 kMaxStateBytes = 64 * 1024;

std::optional<uint64_t> ParseNumber(QByteArrayView text) {
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

#ifndef Q_OS_WIN
// The file, opened and locked for as long as this lives. A file another run
// replaced while this one waited for the lock is opened again, so the lock
// held is always that of the file at the path.
class LockedFile {
  public:
    explicit LockedFile(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        for (;;) {
            fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                         0666);
            if (fd_ < 0) {
                Fail();
                return;
            }
            struct stat opened {};
            if (::fstat(fd_, &opened) != 0) {
                Fail();
                return;
            }
            if (!S_ISREG(opened.st_mode)) {
                why_ = QStringLiteral("not a regular file");
                Close();
                return;
            }
            int locked = -1;
            while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
            }
            if (locked != 0) {
                Fail();
                return;
            }
            struct stat there {};
            if (::stat(name.constData(), &there) == 0 && there.st_dev == opened.st_dev &&
                there.st_ino == opened.st_ino)
                return;  // locked, and still the file at the path
            ::close(fd_);
        }
    }
    ~LockedFile() { Close(); }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    const QString& why() const { return why_; }

    std::optional<QByteArray> Read() {
        QByteArray text;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Failed();
            if (n == 0) return text;
            text.append(buffer, n);
            if (text.size() > kMaxStateBytes) {
                why_ = QStringLiteral("larger than a serial-number file can be");
                return std::nullopt;
            }
        }
    }

  private:
    std::optional<QByteArray> Failed() {
        why_ = QString::fromLocal8Bit(::strerror(errno));
        return std::nullopt;
    }
    void Fail() {
        why_ = QString::fromLocal8Bit(::strerror(errno));
        Close();
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);  // the lock goes with it
        fd_ = -1;
    }
    int fd_ = -1;
    QString why_;
};
#else
// The file, opened and locked (LockFileEx) for as long as this lives; it
// is rewritten in place (Windows does not rename over an open file).
class LockedFile {
  public:
    explicit LockedFile(const QString& path) : file_(path) {
        if (!file_.open(QIODevice::ReadWrite)) {
            why_ = file_.errorString();
            return;
        }
        handle_ = reinterpret_cast<HANDLE>(_get_osfhandle(file_.handle()));
        if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_)) {
            why_ = QStringLiteral("cannot be locked");
            file_.close();
        }
    }
    ~LockedFile() {
        if (file_.isOpen()) UnlockFileEx(handle_, 0, MAXDWORD, MAXDWORD, &whole_);
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool ok() const { return file_.isOpen(); }
    const QString& why() const { return why_; }
    std::optional<QByteArray> Read() {
        QByteArray text = file_.read(kMaxStateBytes + 1);
        if (text.size() > kMaxStateBytes) {
            why_ = QStringLiteral("larger than a serial-number file can be");
            return std::nullopt;
        }
        return text;
    }
    bool Rewrite(const QByteArray& text) {
        if (file_.resize(0) && file_.seek(0) && file_.write(text) == text.size() && file_.flush())
            return true;
        why_ = file_.errorString();
        return false;
    }

  private:
    QFile file_;
    HANDLE handle_ = nullptr;
    OVERLAPPED whole_{};
    QString why_;
};
#endif

}  // namespace

std::optional<SerialState> ParseSerialState(const QByteArray& text) {
    SerialState state;
    bool haveNext = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty()) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) return std::nullopt;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1);
        if (key == "next") {
            const std::optional<uint64_t> next = ParseNumber(value);
            if (!next) return std::nullopt;
            state.next = *next;
            haveNext = true;
        } else if (key == "returned") {
            if (value.trimmed().isEmpty()) continue;
            for (const QByteArray& item : value.split(',')) {
                const std::optional<uint64_t> number = ParseNumber(item);
                if (!number) return std::nullopt;
                state.returned.push_back(*number);
            }
        } else {
            return std::nullopt;
        }
    }
    if (!haveNext) return std::nullopt;
    std::sort(state.returned.begin(), state.returned.end());
    state.returned.erase(std::unique(state.returned.begin(), state.returned.end()),
                         state.returned.end());
    return state;
}

QByteArray FormatSerialState(const SerialState& state) {
    QByteArray text = "next=" + QByteArray::number(static_cast<qulonglong>(state.next)) + '\n';
    if (!state.returned.empty()) {
        QByteArrayList numbers;
        for (const uint64_t n : state.returned)
            numbers << QByteArray::number(static_cast<qulonglong>(n));
        text += "returned=" + numbers.join(',') + '\n';
    }
    return text;
}

SerialNumbers::SerialNumbers(uint64_t start, uint64_t step, uint64_t max, QString file)
    : start_(start), step_(step), max_(max), file_(std::move(file)) {
    memory_.next = start_;
}

template <typename Change>
bool SerialNumbers::Update(Change change, QString* why) {
    std::lock_guard lock(mutex_);
    if (file_.isEmpty()) return change(memory_, why);
    auto fail = [&](const QString& reason) {
        if (why) *why = QStringLiteral("%1: %2").arg(file_, reason);
        return false;
    };
    LockedFile locked(file_);
    if (!locked.ok()) return fail(locked.why());
    const std::optional<QByteArray> text = locked.Read();
    if (!text) return fail(locked.why());
    SerialState state;
    state.next = start_;
    if (!text->trimmed().isEmpty()) {
        const std::optional<SerialState> kept = ParseSerialState(*text);
        if (!kept)
            return fail(QStringLiteral("not a serial-number file (next=N, returned=N,N...)"));
        state = *kept;
    }
    if (!change(state, why)) return false;
#ifdef Q_OS_WIN
    if (!locked.Rewrite(FormatSerialState(state))) return fail(locked.why());
#else
    // Replaced whole, while the old file is still locked: a run waiting for
    // it finds the new file and locks that.
    if (outputfile::Save(file_, FormatSerialState(state), why) != outputfile::Error::None)
        return false;
#endif
    return true;
}

std::optional<uint64_t> SerialNumbers::Take(QString* why) {
    std::optional<uint64_t> taken;
    const bool ok = Update(
        [&](SerialState& state, QString* reason) {
            if (!state.returned.empty()) {
                taken = state.returned.front();
                state.returned.erase(state.returned.begin());
                return true;
            }
            if (state.next > max_) {
                if (reason)
                    *reason = QStringLiteral("the serial numbers are used up: %1 does not fit")
                                  .arg(state.next);
                return false;
            }
            taken = state.next;
            state.next += step_;
            return true;
        },
        why);
    return ok ? taken : std::nullopt;
}

bool SerialNumbers::GiveBack(uint64_t number, QString* why) {
    return Update(
        [number](SerialState& state, QString*) {
            state.returned.insert(
                std::upper_bound(state.returned.begin(), state.returned.end(), number), number);
            return true;
        },
        why);
}

}  // namespace cli
