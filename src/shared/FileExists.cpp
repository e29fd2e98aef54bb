#include "shared/FileExists.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
    // A device, a pipe or a socket is not opened: opening a pipe waits for a
    // writer, and opening a device may already do something. The readers
    // refuse them with their own message.
    if (!S_ISREG(info.st_mode)) return ::access(native.constData(), R_OK) == 0;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
#else
    if (QFileInfo(path).isDir()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    file.close();
    return true;
#endif
}
