#include "backends/serial/ComPortFinder.h"

#include <algorithm>

// What the port search takes from SetupAPI's answers; the asking itself is
// in ComPortFinderWin.cpp.

namespace comports {
namespace {

// "COM10" -> 10; a name without a number sorts last.
int PortNumber(const QString& name) {
    bool ok = false;
    const int number = name.mid(3).toInt(&ok);
    return name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) && ok ? number : 1 << 30;
}

bool IsFtdi(const PortDevice& port) {
    static const QString kVendor =
        QStringLiteral("VID_%1").arg(QLatin1String(ttyfinder::kFtdiVendorId));
    if (port.instanceId.contains(kVendor, Qt::CaseInsensitive)) return true;
    return std::any_of(port.hardwareIds.begin(), port.hardwareIds.end(),
                       [](const QString& id) { return id.contains(kVendor, Qt::CaseInsensitive); });
}

}  // namespace

ttyfinder::Listing Match(std::vector<PortDevice> ports, const QString& product) {
    std::stable_sort(ports.begin(), ports.end(), [](const PortDevice& a, const PortDevice& b) {
        return PortNumber(a.portName) < PortNumber(b.portName);
    });
    ttyfinder::Listing listing;
    for (const PortDevice& port : ports) {
        const bool ftdi = IsFtdi(port);
        if (ftdi && port.description == product) {
            listing.writers << ttyfinder::Port{port.portName, SerialNumberOf(port.instanceId),
                                               QString()};
            continue;
        }
        listing.others << QStringLiteral("%1 (%2 \"%3\")")
                              .arg(port.portName,
                                   ftdi ? QLatin1String(ttyfinder::kFtdiVendorId)
                                        : QLatin1String("?"),
                                   port.description);
    }
    if (listing.writers.isEmpty()) {
        listing.error = QStringLiteral(
                            "no COM port whose USB device reports \"%1\" (vendor %2); is the "
                            "Writer plugged in and its driver installed?")
                            .arg(product, QLatin1String(ttyfinder::kFtdiVendorId));
        if (!listing.others.isEmpty())
            listing.error +=
                QStringLiteral(" Other COM ports: ") + listing.others.join(QStringLiteral(", "));
    }
    return listing;
}

QString SerialNumberOf(const QString& instanceId) {
    const QStringList parts = instanceId.split(u'\\');
    if (parts.size() < 3) return {};
    if (parts[0].compare(QLatin1String("FTDIBUS"), Qt::CaseInsensitive) == 0) {
        // VID_0403+PID_6001+<serial><channel letter>
        const QStringList fields = parts[1].split(u'+');
        if (fields.size() < 3 || fields[2].size() < 2) return {};
        return fields[2].chopped(1);
    }
    if (parts[0].compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0 &&
        !parts[2].contains(u'&'))
        return parts[2];
    return {};
}

}  // namespace comports
