#include "backends/serial/TtyFinder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <errno.h>
#include <unistd.h>
#endif

#ifdef Q_OS_MACOS
#include <QSerialPortInfo>
#endif
#ifdef Q_OS_WIN
#include "backends/serial/ComPortFinder.h"
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

Result First(const Listing& listing) {
    Result result;
    if (!listing.writers.isEmpty()) result.path = listing.writers.first().path;
    result.others = listing.others;
    result.error = listing.error;
    return result;
}

}  // namespace

Listing ListInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
    Listing listing;
    const QDir ttyDir(sysfsRoot + QStringLiteral("/class/tty"));
    if (!ttyDir.exists()) {
        listing.error = QStringLiteral("%1 does not exist; cannot look for USB serial ports")
                            .arg(ttyDir.path());
        return listing;
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
            listing.writers << Port{devRoot + u'/' + name,
                                    ReadAttribute(usb.filePath(QStringLiteral("serial"))).trimmed(),
                                    usb.dirName()};
            continue;
        }
        listing.others << QStringLiteral("%1 (%2 \"%3\")")
                              .arg(name, vendor.isEmpty() ? QStringLiteral("?") : vendor, found);
    }
    if (listing.writers.isEmpty()) listing.error = NotFound(product, listing.others);
    return listing;
}

Listing List(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
#if defined(Q_OS_LINUX)
    return ListInSysfs(sysfsRoot, devRoot, product);
#elif defined(Q_OS_MACOS)
    Q_UNUSED(sysfsRoot);
    Q_UNUSED(devRoot);
    // The port list gives the USB product string as the description. Each
    // port appears as tty.* and cu.*; the call-out device does not wait for
    // a carrier, so it is the one kept.
    Listing listing;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const bool ftdi = info.hasVendorIdentifier() && info.vendorIdentifier() == 0x0403;
        if (ftdi && info.description() == product) {
            if (!info.portName().startsWith(QStringLiteral("cu."))) continue;
            listing.writers << Port{info.systemLocation(), info.serialNumber(), QString()};
        } else if (ftdi) {
            listing.others
                << QStringLiteral("%1 (0403 \"%2\")").arg(info.portName(), info.description());
        }
    }
    if (listing.writers.isEmpty()) listing.error = NotFound(product, listing.others);
    return listing;
#elif defined(Q_OS_WIN)
    Q_UNUSED(sysfsRoot);
    Q_UNUSED(devRoot);
    return comports::List(product);
#else
    Q_UNUSED(sysfsRoot);
    Q_UNUSED(devRoot);
    Q_UNUSED(product);
    Listing listing;
    listing.error = QStringLiteral(
        "this system does not tell which serial port has the Writer's product string; "
        "give the port (serial:COM3) or use the d2xx backend");
    return listing;
#endif
}

bool MayOpen(const QString& path) {
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    return ::access(native.constData(), R_OK | W_OK) == 0 || (errno != EACCES && errno != EPERM);
#else
    Q_UNUSED(path);
    return true;
#endif
}

bool PortExists(const QString& path) {
#ifdef Q_OS_WIN
    return comports::PortExists(path);
#else
    return QFileInfo::exists(path);
#endif
}

Result FindInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
    return First(ListInSysfs(sysfsRoot, devRoot, product));
}

Result Find(const QString& sysfsRoot, const QString& devRoot, const QString& product) {
    return First(List(sysfsRoot, devRoot, product));
}

}  // namespace ttyfinder
