#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Finding the Writer's tty by the USB product string of its bridge.
//
// On Linux the product string is read from sysfs, where the USB device of a
// usb-serial tty is two levels above the tty's `device` link:
//   <sysfs>/class/tty/ttyUSBn/device/../../product   "Q-LARK USB Programmer"
//   <sysfs>/class/tty/ttyUSBn/device/../../idVendor  "0403"
//   <sysfs>/class/tty/ttyUSBn/device/../../serial    the bridge's serial number
// (udev's model name is no use: it turns the blanks into underscores.)
//
// The sysfs root and the folder of the device nodes are parameters, so that
// tests can lay out a tree of their own.
namespace ttyfinder {

inline constexpr char kFtdiVendorId[] = "0403";

// One tty whose USB device is a Writer.
struct Port {
    QString path;     // the tty to open: `devRoot`/ttyUSBn
    QString serial;   // the bridge's USB serial number; empty when it has none
    QString usbPort;  // the USB device's place on the bus ("1-1.2": bus 1, hub port 1, port 2)
};

struct Listing {
    QList<Port> writers;  // in name order (ttyUSB2 before ttyUSB10)
    QStringList others;   // other usb-serial ttys seen, "ttyUSB0 (0403 \"FT232R USB UART\")"
    QString error;        // why nothing matched, in words a user can act on
};

struct Result {
    QString path;        // the tty to open; empty when none matched
    QStringList others;  // other usb-serial ttys seen
    QString error;       // why nothing matched
};

// Every ttyUSB under `sysfsRoot` (normally "/sys") whose USB device has
// vendor id 0403 and exactly `product` as its product string.
Listing ListInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product);

// The same by the platform's own means: sysfs on Linux, the serial port list
// on macOS, the USB device's bus-reported description on Windows
// (ComPortFinder.h). Elsewhere there is no product string to match.
Listing List(const QString& sysfsRoot, const QString& devRoot, const QString& product);

// False when this user may not read and write the tty at `path` (a Writer
// without the udev rule); true when it may, or the question cannot be asked.
bool MayOpen(const QString& path);

// Whether the port `path` names is there: a device node, on Windows a COM
// port ("COM5").
bool PortExists(const QString& path);

// The first of ListInSysfs(); of List().
Result FindInSysfs(const QString& sysfsRoot, const QString& devRoot, const QString& product);
Result Find(const QString& sysfsRoot, const QString& devRoot, const QString& product);

}  // namespace ttyfinder
