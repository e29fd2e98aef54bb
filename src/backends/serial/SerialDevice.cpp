#include "backends/serial/SerialDevice.h"

#include "backends/serial/TtyFinder.h"

// What the Posix and the Windows ports share.

FtStatus SerialDevice::ChoosePort(const QByteArray& description, QString* path) {
    ClearError();
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

FtStatus SerialDevice::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits,
                                              uint8_t parity) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (!d2xxcodes::IsLineSetting(wordLength, stopBits, parity))
        return Fail(
            FT_INVALID_PARAMETER,
            QStringLiteral("no such line setting: %1 data bits, stop code %2, parity code %3")
                .arg(wordLength)
                .arg(stopBits)
                .arg(parity));
    return SetLineSetting(wordLength, stopBits, parity);
}
