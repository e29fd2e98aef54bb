#include "shared/OutputFile.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>

#include <QSaveFile>
#else
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#endif

namespace outputfile {
namespace {

Error Refuse(QString* why, const QString& path) {
    if (why) *why = QStringLiteral("%1: not a regular file; left as it is").arg(path);
    return Error::NotRegular;
}

Error Fail(QString* why, const QString& path, const QString& reason) {
    if (why) *why = QStringLiteral("%1: %2").arg(path, reason);
    return Error::Failed;
}

}  // namespace

#ifdef Q_OS_WIN

// Windows: QSaveFile, whose commit is trusted only after the written bytes
// have been flushed without an error.
Error Save(const QString& path, const QByteArray& content, QString* why) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return Refuse(why, path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return Fail(why, path, file.errorString());
    if (file.write(content) != content.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Fail(why, path, reason + QStringLiteral("; left as it was"));
    }
    if (!file.commit())
        return Fail(why, path, file.errorString() + QStringLiteral("; left as it was"));
    return Error::None;
}

Error AppendFile::Open(const QString& path, QString* why) {
    Close();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return Refuse(why, path);
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        return Fail(why, path, file_.errorString());
    path_ = path;
    return Error::None;
}

bool AppendFile::Append(const QByteArray& bytes, QString* why) {
    if (!file_.isOpen()) {
        Fail(why, path_, QStringLiteral("not open"));
        return false;
    }
    const qint64 end = file_.size();
    if (file_.write(bytes) == bytes.size() && file_.flush()) return true;
    Fail(why, path_, file_.errorString());
    file_.resize(end);
    return false;
}

bool AppendFile::AppendLocked(const QByteArray& bytes, QString* why) {
    if (!file_.isOpen()) return Append(bytes, why);
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file_.handle()));
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        Fail(why, path_, QStringLiteral("cannot be locked"));
        return false;
    }
    const bool appended = Append(bytes, why);
    UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
    return appended;
}

void AppendFile::Close() {
    file_.close();
}

bool AppendFile::isOpen() const {
    return file_.isOpen();
}

#else

namespace {

// The kernel follows no more links than this in one path either.
constexpr int kMaxLinks = 40;

QString Reason(int error) {
    return qt_error_string(error);
}

// Where the content goes: `path`, its links followed to the last one's
// target. `exists` is false for a new name; `info` is the file's when it
// exists.
struct Place {
    QString path;
    bool exists = false;
    struct stat info {};
};

Error Resolve(const QString& path, Place* place, QString* why) {
    if (path.isEmpty()) return Fail(why, path, QStringLiteral("no file name"));
    QString current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        const QByteArray name = QFile::encodeName(current);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0) {
            const int error = errno;
            if (error != ENOENT) return Fail(why, path, Reason(error));
            place->path = current;
            place->exists = false;
            return Error::None;
        }
        if (S_ISREG(info.st_mode)) {
            place->path = current;
            place->exists = true;
            place->info = info;
            return Error::None;
        }
        if (!S_ISLNK(info.st_mode)) return Refuse(why, path);
        char target[PATH_MAX];
        const ssize_t size = ::readlink(name.constData(), target, sizeof target);
        if (size < 0 || size >= static_cast<ssize_t>(sizeof target))
            return Fail(why, path, Reason(size < 0 ? errno : ENAMETOOLONG));
        const QString next = QFile::decodeName(QByteArray(target, size));
        current =
            QDir::isRelativePath(next) ? QDir(QFileInfo(current).path()).filePath(next) : next;
    }
    return Fail(why, path, Reason(ELOOP) + QStringLiteral("; left as it is"));
}

// write() until every byte is out; false with errno set on a failure.
bool WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written =
            ::write(fd, data, static_cast<size_t>(std::min<qsizetype>(left, 1 << 30)));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return false;
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool SyncFile(int fd) {
    int result = 0;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// A new file beside `place` with a name nobody else has: ".NAME.XXXXXXXX~".
// Made with 0666 so that the umask gives it the usual mode.
int MakeTemporary(const QString& folder, const QString& name, QByteArray* temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = QFile::encodeName(QDir(folder).filePath(
            QStringLiteral(".%1.%2~")
                .arg(name.left(40))
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        const int fd = ::open(temp->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

Error Save(const QString& path, const QByteArray& content, QString* why) {
    Place place;
    if (const Error error = Resolve(path, &place, why); error != Error::None) return error;
    const QFileInfo target(place.path);
    const QString folder = target.path();
    if (target.fileName().isEmpty()) return Fail(why, path, Reason(EISDIR));
    const QString kept = place.exists ? QStringLiteral("; left as it was") : QString();
    QByteArray temp;
    int fd = MakeTemporary(folder, target.fileName(), &temp);
    if (fd < 0)
        return Fail(
            why, path,
            QStringLiteral("cannot make a file in %1 (%2)").arg(folder, Reason(errno)) + kept);
    auto failed = [&](const char* step) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        ::unlink(temp.constData());
        return Fail(why, path,
                    QStringLiteral("%1 (%2)").arg(QLatin1String(step), Reason(error)) + kept);
    };
    if (!WriteAll(fd, content)) return failed("cannot be written");
    if (place.exists) {
        // The owner first: giving a file away clears its set-id bits.
        const bool owned = ::fchown(fd, place.info.st_uid, place.info.st_gid) == 0 ||
                           ::fchown(fd, static_cast<uid_t>(-1), place.info.st_gid) == 0;
        static_cast<void>(owned);  // a file of someone else's stays ours
        if (::fchmod(fd, place.info.st_mode & 07777) != 0)
            return failed("cannot be given the old file's permissions");
    }
    if (!SyncFile(fd)) return failed("cannot be flushed to disk");
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR) return failed("cannot be written");
    if (::rename(temp.constData(), QFile::encodeName(place.path).constData()) != 0)
        return failed("cannot be put in its place");
    // The rename itself on disk. A folder this process cannot open for
    // reading cannot be flushed; a file system that cannot flush a folder
    // says EINVAL.
    const int dir =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        const bool synced = SyncFile(dir);
        const int error = errno;
        ::close(dir);
        if (!synced && error != EINVAL)
            return Fail(why, path,
                        QStringLiteral("written, but its folder cannot be flushed to disk (%1)")
                            .arg(Reason(error)));
    }
    return Error::None;
}

Error AppendFile::Open(const QString& path, QString* why) {
    Close();
    Place place;
    if (const Error error = Resolve(path, &place, why); error != Error::None) return error;
    // Without waiting: should a pipe or a device take the file's place
    // after the check, the open neither blocks nor becomes its terminal.
    const int fd = ::open(QFile::encodeName(place.path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return Fail(why, path, Reason(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Refuse(why, path);
    }
    fd_ = fd;
    path_ = path;
    return Error::None;
}

bool AppendFile::Append(const QByteArray& bytes, QString* why) {
    if (fd_ < 0) {
        Fail(why, path_, Reason(EBADF));
        return false;
    }
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (WriteAll(fd_, bytes)) return true;
    const int error = errno;
    // What got in of the bytes is taken out again: the file ends with the
    // last whole append.
    const bool trimmed = end >= 0 && ::ftruncate(fd_, end) == 0;
    static_cast<void>(trimmed);  // nothing more to be done on a failing disk
    Fail(why, path_, Reason(error));
    return false;
}

bool AppendFile::AppendLocked(const QByteArray& bytes, QString* why) {
    if (fd_ < 0) return Append(bytes, why);
    int locked = -1;
    while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        Fail(why, path_, Reason(errno));
        return false;
    }
    const bool appended = Append(bytes, why);
    ::flock(fd_, LOCK_UN);
    return appended;
}

void AppendFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool AppendFile::isOpen() const {
    return fd_ >= 0;
}

#endif

}  // namespace outputfile
