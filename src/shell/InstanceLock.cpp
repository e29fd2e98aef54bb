#include "shell/InstanceLock.h"

#include <QDir>

#ifdef Q_OS_WIN

InstanceLock::InstanceLock(const QString& path) : path_(path), lock_(path) {
    // A running instance holds the lock however long it runs.
    lock_.setStaleLockTime(0);
}

InstanceLock::~InstanceLock() = default;

InstanceLock::Result InstanceLock::TryLock(QString* why) {
    if (lock_.isLocked() || lock_.tryLock(0)) return Result::Locked;
    if (lock_.error() == QLockFile::LockFailedError) return Result::Held;
    if (why) *why = QStringLiteral("%1: the lock file cannot be made").arg(path_);
    return Result::Refused;
}

QString DefaultInstanceLockPath() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    QString safe;
    for (const QChar c : user) safe.append(c.isLetterOrNumber() ? c : QChar(u'_'));
    return QDir(QDir::tempPath())
        .filePath(safe.isEmpty() ? QStringLiteral("qlarkw.lock")
                                 : QStringLiteral("qlarkw-%1.lock").arg(safe));
}

#else

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <cstring>

namespace {

constexpr char kLockName[] = "qlarkw.lock";

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why `folder` cannot hold the lock file; empty when it is a folder of the
// user's that no one else can write.
QString FolderProblem(const QString& folder) {
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0) return ErrnoText(errno);
    if (!S_ISDIR(info.st_mode)) return QStringLiteral("not a folder");
    if (info.st_uid != ::geteuid()) return QStringLiteral("not the user's folder");
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return QStringLiteral("others can write to it");
    return {};
}

bool IsOwnRegularFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

InstanceLock::InstanceLock(const QString& path) : path_(path) {}

InstanceLock::~InstanceLock() {
    // The file stays: removing it could take it from under a new instance
    // that has just opened it.
    if (fd_ >= 0) ::close(fd_);
}

InstanceLock::Result InstanceLock::TryLock(QString* why) {
    if (fd_ >= 0) return Result::Locked;
    auto refuse = [why](const QString& what, const QString& problem) {
        if (why) *why = QStringLiteral("%1: %2").arg(what, problem);
        return Result::Refused;
    };
    if (path_.isEmpty())
        return refuse(QStringLiteral("the lock file"), QStringLiteral("no folder"));
    const QString folder = QFileInfo(path_).absolutePath();
    if (const QString problem = FolderProblem(folder); !problem.isEmpty())
        return refuse(folder, problem);
    const QByteArray native = QFile::encodeName(path_);
    const QString notOwnFile = QStringLiteral("not a regular file of the user's");
    // Looked at before it is opened, so a device is never opened; then
    // opened without waiting and without following a link, and looked at
    // again, as the path may have changed in between.
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0 && !IsOwnRegularFile(info))
        return refuse(path_, notOwnFile);
    const int fd = ::open(native.constData(),
                          O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) return refuse(path_, ErrnoText(errno));
    if (::fstat(fd, &info) != 0 || !IsOwnRegularFile(info)) {
        ::close(fd);
        return refuse(path_, notOwnFile);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return Result::Held;
        return refuse(path_, ErrnoText(error));
    }
    fd_ = fd;
    return Result::Locked;
}

QString InstanceLockPathIn(const QString& runtimeDir, const QString& cacheDir) {
    if (QDir::isAbsolutePath(runtimeDir) && FolderProblem(runtimeDir).isEmpty())
        return QDir(runtimeDir).filePath(QLatin1String(kLockName));
    if (!QDir::isAbsolutePath(cacheDir)) return {};
    // Made for the user alone when missing; one that is there is judged when
    // the lock is taken.
    const QString own = QDir(cacheDir).filePath(QStringLiteral("qlarkw"));
    QDir().mkpath(cacheDir);
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return QDir(own).filePath(QLatin1String(kLockName));
}

QString DefaultInstanceLockPath() {
    return InstanceLockPathIn(
        qEnvironmentVariable("XDG_RUNTIME_DIR"),
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
}

#endif
