#include "link/serial/TtyFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_MACOS
#include <QSerialPortInfo>
#endif

namespace ttyfinder {
namespace {

// The attribute's text without the line end sysfs puts after it. Blanks
// inside and around the text are kept: the product string must match exactly.
QString ReadAttribute(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray text = file.read(512);
    while (text.endsWith('\n') || text.endsWith('\0')) text.chop(1);
    return QString::fromUtf8(text);
}

QString NotFound(const QString& product, const QStringList& others) {
    QString text = QStringLiteral(
                       "no tty whose USB product string is \"%1\" (vendor %2); "
                       "is the Writer plugged in?")
                       .arg(product, QLatin1String(kFtdiVendorId));
    if (!others.isEmpty())
        text += QStringLiteral(" Other USB serial ports: ") + others.join(QStringLiteral(", "));
    return text;
}

}  // namespace

Result FindInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
    Result result;
    const QDir ttyDir(sysfsRoot + QStringLiteral("/class/tty"));
    if (!ttyDir.exists()) {
        result.error = QStringLiteral("%1 does not exist; cannot look for USB serial ports")
                           .arg(ttyDir.path());
        return result;
    }
    QStringList names =
        ttyDir.entryList({QStringLiteral("ttyUSB*")},
                         QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    // ttyUSB2 before ttyUSB10.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (const QString& name : names) {
        // Follow the links as the kernel does, then climb from the port to
        // its USB device; ".." on the unresolved path would climb the links.
        const QString port =
            QFileInfo(ttyDir.filePath(name) + QStringLiteral("/device")).canonicalFilePath();
        if (port.isEmpty()) continue;
        QDir usb(port);
        if (!usb.cdUp() || !usb.cdUp()) continue;
        const QString vendor = ReadAttribute(usb.filePath(QStringLiteral("idVendor")));
        const QString found = ReadAttribute(usb.filePath(QStringLiteral("product")));
        if (vendor == QLatin1String(kFtdiVendorId) && found == product) {
            if (result.path.isEmpty()) result.path = devRoot + u'/' + name;
            continue;
        }
        result.others << QStringLiteral("%1 (%2 \"%3\")")
                             .arg(name, vendor.isEmpty() ? QStringLiteral("?") : vendor, found);
    }
    if (result.path.isEmpty()) result.error = NotFound(product, result.others);
    return result;
}

Result Find(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
#if defined(Q_OS_LINUX)
    return FindInSysfs(sysfsRoot, devRoot, product);
#elif defined(Q_OS_MACOS)
    Q_UNUSED(sysfsRoot);
    Q_UNUSED(devRoot);
    // The port list gives the USB product string as the description. Each
    // port appears as tty.* and cu.*; the call-out device does not wait for
    // a carrier.
    Result result;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const bool ftdi = info.hasVendorIdentifier() && info.vendorIdentifier() == 0x0403;
        if (ftdi && info.description() == product) {
            if (result.path.isEmpty() || info.portName().startsWith(QStringLiteral("cu.")))
                result.path = info.systemLocation();
        } else if (ftdi) {
            result.others
                << QStringLiteral("%1 (0403 \"%2\")").arg(info.portName(), info.description());
        }
    }
    if (result.path.isEmpty()) result.error = NotFound(product, result.others);
    return result;
#else
    Q_UNUSED(sysfsRoot);
    Q_UNUSED(devRoot);
    Q_UNUSED(product);
    Result result;
    result.error = QStringLiteral(
        "this system does not tell which serial port has the Writer's product string; "
        "give the port (serial:COM3) or use the d2xx backend");
    return result;
#endif
}

}  // namespace ttyfinder
