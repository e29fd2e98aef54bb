#pragma once

#include <QString>
#include <QStringList>

// Finding the Writer's tty by the USB product string of its bridge.
//
// On Linux the product string is read from sysfs, where the USB device of a
// usb-serial tty is two levels above the tty's `device` link:
//   <sysfs>/class/tty/ttyUSBn/device/../../product   "Q-LARK USB Programmer"
//   <sysfs>/class/tty/ttyUSBn/device/../../idVendor  "0403"
// (udev's model name is no use: it turns the blanks into underscores.)
namespace ttyfinder {

inline constexpr char kFtdiVendorId[] = "0403";

struct Result {
    QString path;        // the tty to open; empty when none matched
    QStringList others;  // other usb-serial ttys seen, "ttyUSB0 (0403 \"FT232R USB UART\")"
    QString error;       // why nothing matched, in words a user can act on
};

// Looks through `sysfsRoot` (normally "/sys") for the ttyUSB whose USB
// device has vendor id 0403 and exactly `product` as its product string; the
// path returned is `devRoot`/ttyUSBn (normally under "/dev"). When several
// match, the first in name order is taken.
Result FindInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product);

// The same search by the platform's own means: sysfs on Linux, the serial
// port list on macOS. Elsewhere there is no product string to match.
Result Find(const QString& sysfsRoot, const QString& devRoot, const QString& product);

}  // namespace ttyfinder
