#include "link/serial/SerialDevice.h"

#include "link/serial/TtyFinder.h"

// What the Posix and the Windows ports share.

FtStatus SerialDevice::Fail(FtStatus status, const QString& why) {
    lastError_ = why;
    return status;
}

FtStatus SerialDevice::ChoosePort(const QByteArray& description, QString* path) {
    lastError_.clear();
    if (isOpen())
        return Fail(FT_DEVICE_NOT_OPENED, QStringLiteral("%1 is already open").arg(portPath_));
    *path = options_.path;
    if (path->isEmpty()) {
        const ttyfinder::Result found =
            ttyfinder::Find(options_.sysfsRoot, options_.devRoot, QString::fromLatin1(description));
        if (found.path.isEmpty()) return Fail(FT_DEVICE_NOT_FOUND, found.error);
        *path = found.path;
    }
    portPath_ = *path;
    return FT_OK;
}
