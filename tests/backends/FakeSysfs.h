#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

// A temporary folder laid out as sysfs lays out usb-serial ttys:
//   devices/usbN/N-1/N-1:1.0/ttyUSBk/tty/ttyUSBk       the tty's own folder
//   devices/usbN/N-1/{idVendor,product,serial}          its USB device
//   class/tty/ttyUSBk -> ../../devices/.../tty/ttyUSBk
//   .../tty/ttyUSBk/device -> ../../../ttyUSBk          the usb-serial port
class FakeSysfs {
  public:
    FakeSysfs() { QDir(root()).mkpath(QStringLiteral("class/tty")); }

    QString root() const { return dir_.path(); }

    // `serial`: the USB device's serial number; none when empty.
    void AddUsbTty(const QString& name, int bus, const QByteArray& vendor,
                   const QByteArray& product, const QByteArray& serial = {}) {
        const QString usb = QStringLiteral("devices/usb%1/%1-1").arg(bus);
        const QString port = usb + QStringLiteral("/%1-1:1.0/").arg(bus) + name;
        const QString tty = port + QStringLiteral("/tty/") + name;
        QDir base(root());
        ASSERT_TRUE(base.mkpath(tty));
        Write(usb + QStringLiteral("/idVendor"), vendor + '\n');
        Write(usb + QStringLiteral("/product"), product + '\n');
        if (!serial.isEmpty()) Write(usb + QStringLiteral("/serial"), serial + '\n');
        Link(QStringLiteral("../../../") + name, tty + QStringLiteral("/device"));
        Link(QStringLiteral("../../") + tty, QStringLiteral("class/tty/") + name);
    }

    // A tty without a device behind it (a virtual console, a pty).
    void AddVirtualTty(const QString& name) {
        const QString tty = QStringLiteral("devices/virtual/tty/") + name;
        ASSERT_TRUE(QDir(root()).mkpath(tty));
        Link(QStringLiteral("../../") + tty, QStringLiteral("class/tty/") + name);
    }

  private:
    void Write(const QString& relative, const QByteArray& text) {
        QFile file(QDir(root()).filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    void Link(const QString& target, const QString& relative) {
        ASSERT_TRUE(QFile::link(target, QDir(root()).filePath(relative))) << relative.toStdString();
    }

    QTemporaryDir dir_;
};
