#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeSysfs.h"
#include "backends/serial/SerialDevice.h"
#include "backends/serial/TtyFinder.h"
#ifdef QLARKW_SIM
#include "SimProcess.h"
#endif

namespace {

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
