#include "shared/FileExists.h"

#include <QFile>
#include <QFileInfo>

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    if (QFileInfo(path).isDir()) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    file.close();
    return true;
}
