#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/serial/SerialDevice.h"
#include "link/serial/TtyFinder.h"
#ifdef QLARKW_SIM
#include "SimProcess.h"
#endif

namespace {

// A temporary folder laid out as sysfs lays out usb-serial ttys:
//   devices/usbN/N-1/N-1:1.0/ttyUSBk/tty/ttyUSBk       the tty's own folder
//   devices/usbN/N-1/{idVendor,product}                 its USB device
//   class/tty/ttyUSBk -> ../../devices/.../tty/ttyUSBk
//   .../tty/ttyUSBk/device -> ../../../ttyUSBk          the usb-serial port
class FakeSysfs {
  public:
    FakeSysfs() { QDir(root()).mkpath(QStringLiteral("class/tty")); }

    QString root() const { return dir_.path(); }

    void AddUsbTty(const QString& name, int bus, const QByteArray& vendor,
                   const QByteArray& product) {
        const QString usb = QStringLiteral("devices/usb%1/%1-1").arg(bus);
        const QString port = usb + QStringLiteral("/%1-1:1.0/").arg(bus) + name;
        const QString tty = port + QStringLiteral("/tty/") + name;
        QDir base(root());
        ASSERT_TRUE(base.mkpath(tty));
        Write(usb + QStringLiteral("/idVendor"), vendor + '\n');
        Write(usb + QStringLiteral("/product"), product + '\n');
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

const QString kWriter = QStringLiteral("Q-LARK USB Programmer");

}  // namespace

TEST(TtyFinder, TakesTheTtyWhoseUsbDeviceIsTheWriter) {
    FakeSysfs sysfs;
    sysfs.AddVirtualTty(QStringLiteral("tty0"));
    sysfs.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "0403", "FT232R USB UART");
    sysfs.AddUsbTty(QStringLiteral("ttyUSB1"), 2, "0403", "Q-LARK USB Programmer");
    const ttyfinder::Result found =
        ttyfinder::FindInSysfs(sysfs.root(), QStringLiteral("/dev"), kWriter);
    EXPECT_EQ(found.path, QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(found.others, QStringList{QStringLiteral("ttyUSB0 (0403 \"FT232R USB UART\")")});
}

TEST(TtyFinder, WantsTheExactProductStringAndFtdisVendorId) {
    FakeSysfs sysfs;
    sysfs.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "067b", "Q-LARK USB Programmer");  // not FTDI
    sysfs.AddUsbTty(QStringLiteral("ttyUSB1"), 2, "0403",
                    "Q-LARK_USB_Programmer");  // udev's model name
    sysfs.AddUsbTty(QStringLiteral("ttyUSB2"), 3, "0403", "Q-LARK USB Programmer ");
    sysfs.AddUsbTty(QStringLiteral("ttyUSB3"), 4, "0403", "q-lark usb programmer");
    const ttyfinder::Result found =
        ttyfinder::FindInSysfs(sysfs.root(), QStringLiteral("/dev"), kWriter);
    EXPECT_TRUE(found.path.isEmpty());
    EXPECT_EQ(found.others.size(), 4);
    EXPECT_TRUE(found.error.contains(QStringLiteral("\"Q-LARK USB Programmer\"")))
        << found.error.toStdString();
    EXPECT_TRUE(found.error.contains(QStringLiteral("plugged in"))) << found.error.toStdString();
    EXPECT_TRUE(found.error.contains(QStringLiteral("ttyUSB1 (0403 \"Q-LARK_USB_Programmer\")")));
}

TEST(TtyFinder, TakesTheFirstOfSeveralWritersInNumberOrder) {
    FakeSysfs sysfs;
    sysfs.AddUsbTty(QStringLiteral("ttyUSB10"), 1, "0403", "Q-LARK USB Programmer");
    sysfs.AddUsbTty(QStringLiteral("ttyUSB9"), 2, "0403", "Q-LARK USB Programmer");
    const ttyfinder::Result found =
        ttyfinder::FindInSysfs(sysfs.root(), QStringLiteral("/x/dev"), kWriter);
    EXPECT_EQ(found.path, QStringLiteral("/x/dev/ttyUSB9"));
}

TEST(TtyFinder, SaysWhenThereIsNoSysfsOrNoUsbSerialPort) {
    QTemporaryDir empty;
    ttyfinder::Result found = ttyfinder::FindInSysfs(empty.path(), QStringLiteral("/dev"), kWriter);
    EXPECT_TRUE(found.path.isEmpty());
    EXPECT_TRUE(found.error.contains(QStringLiteral("class/tty"))) << found.error.toStdString();

    FakeSysfs sysfs;
    sysfs.AddVirtualTty(QStringLiteral("ttyS0"));
    found = ttyfinder::FindInSysfs(sysfs.root(), QStringLiteral("/dev"), kWriter);
    EXPECT_TRUE(found.path.isEmpty());
    EXPECT_TRUE(found.others.isEmpty());
    EXPECT_FALSE(found.error.contains(QStringLiteral("Other USB serial ports")));
}

TEST(TtyFinder, SerialBackendWithoutPathReportsTheWriterMissing) {
    FakeSysfs sysfs;
    sysfs.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "0403", "FT232R USB UART");
    SerialDevice device(SerialDevice::Options{QString(), sysfs.root(), QStringLiteral("/dev")});
    EXPECT_EQ(device.OpenEx(kWriter.toLatin1()), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("FT232R USB UART")));
    EXPECT_FALSE(device.isOpen());
}

#ifdef QLARKW_SIM
// The whole search on a tree whose Writer tty is the simulator's pty.
TEST(TtyFinder, SerialBackendFindsAndOpensTheWriterByItsProductString) {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({QStringLiteral("--pace"), QStringLiteral("instant")}));
    FakeSysfs sysfs;
    sysfs.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "0403", "FT232R USB UART");
    sysfs.AddUsbTty(QStringLiteral("ttyUSB1"), 2, "0403", "Q-LARK USB Programmer");
    QTemporaryDir dev;
    ASSERT_TRUE(QFile::link(sim.path(), dev.filePath(QStringLiteral("ttyUSB1"))));

    SerialDevice device(SerialDevice::Options{QString(), sysfs.root(), dev.path()});
    ASSERT_EQ(device.OpenEx(kWriter.toLatin1()), FT_OK) << device.LastError().toStdString();
    EXPECT_EQ(device.portPath(), dev.filePath(QStringLiteral("ttyUSB1")));
    device.SetTimeouts(5000, 1000);
    const uint8_t select = 'A';
    uint32_t count = 0;
    ASSERT_EQ(device.Write(&select, 1, &count), FT_OK);
    uint8_t reply = 0;
    ASSERT_EQ(device.Read(&reply, 1, &count), FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(reply, 'a');
    EXPECT_EQ(device.Close(), FT_OK);
}
#endif
