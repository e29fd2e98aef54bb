#include "shared/OutputFile.h"

#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace outputfile {
namespace {

// True when something that is not a regular file is at `path` (links
// followed). Nothing there at all is fine: the file is made.
bool SomethingElseIsThere(const QString& path) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return false;
    return !S_ISREG(info.st_mode);
#else
    const QFileInfo info(path);
    return info.exists() && !info.isFile();
#endif
}

}  // namespace

Error Save(const QString& path, const QByteArray& content, QString* why) {
    if (SomethingElseIsThere(path)) {
        if (why) *why = QStringLiteral("%1: not a regular file; left as it is").arg(path);
        return Error::NotRegular;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        if (why) *why = QStringLiteral("%1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return Error::Failed;
    }
    return Error::None;
}

}  // namespace outputfile
