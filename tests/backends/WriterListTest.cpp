#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "FakeSysfs.h"
#include "backends/Backends.h"
#include "backends/serial/TtyFinder.h"
#include "shared/Clock.h"
#include "sim/SimDevice.h"

// The Writers each backend lists, and the choice that opens exactly one.

namespace {

const QString kWriter = QStringLiteral("Q-LARK USB Programmer");

std::vector<QString> Ids(const backends::WriterList& list) {
    std::vector<QString> ids;
    for (const backends::WriterEntry& entry : list.writers) ids.push_back(entry.id);
    return ids;
}

}  // namespace

// Linux's sysfs; Windows' search is ComPortFinderTest's.
#ifndef Q_OS_WIN
namespace {

// Three Writers (two with serial numbers) and an FTDI cable that is none.
class ClassroomSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        sysfs.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "0403", "FT232R USB UART", "FT9XYZ");
        sysfs.AddUsbTty(QStringLiteral("ttyUSB1"), 2, "0403", "Q-LARK USB Programmer", "QL000001");
        sysfs.AddUsbTty(QStringLiteral("ttyUSB10"), 3, "0403", "Q-LARK USB Programmer");
        sysfs.AddUsbTty(QStringLiteral("ttyUSB2"), 4, "0403", "Q-LARK USB Programmer", "QL000002");
    }
    backends::ListSources Sources() const { return {sysfs.root(), QStringLiteral("/x/dev")}; }
    FakeSysfs sysfs;
};

}  // namespace

TEST_F(ClassroomSysfs, TtyFinderListsEveryWriterInNumberOrder) {
    const ttyfinder::Listing found =
        ttyfinder::ListInSysfs(sysfs.root(), QStringLiteral("/x/dev"), kWriter);
    ASSERT_EQ(found.writers.size(), 3);
    EXPECT_EQ(found.writers[0].path, QStringLiteral("/x/dev/ttyUSB1"));
    EXPECT_EQ(found.writers[0].serial, QStringLiteral("QL000001"));
    EXPECT_EQ(found.writers[0].usbPort, QStringLiteral("2-1"));
    EXPECT_EQ(found.writers[1].path, QStringLiteral("/x/dev/ttyUSB2"));
    EXPECT_EQ(found.writers[2].path, QStringLiteral("/x/dev/ttyUSB10"));
    EXPECT_TRUE(found.writers[2].serial.isEmpty());
    EXPECT_EQ(found.others, QStringList{QStringLiteral("ttyUSB0 (0403 \"FT232R USB UART\")")});
    EXPECT_TRUE(found.error.isEmpty());
}

TEST_F(ClassroomSysfs, SerialBackendListsTheWritersBySerialNumberElseByTty) {
    const backends::WriterList list = backends::List(QStringLiteral("serial"), Sources());
    EXPECT_TRUE(list.error.isEmpty());
    ASSERT_EQ(Ids(list), (std::vector<QString>{"QL000001", "QL000002", "/x/dev/ttyUSB10"}));
    for (const backends::WriterEntry& entry : list.writers)
        EXPECT_EQ(entry.backend, QStringLiteral("serial"));
    EXPECT_EQ(list.writers[0].location, QStringLiteral("/x/dev/ttyUSB1 (usb 2-1)"));
    EXPECT_EQ(list.writers[0].choice, QStringLiteral("serial:/x/dev/ttyUSB1"));
    EXPECT_EQ(list.writers[2].choice, QStringLiteral("serial:/x/dev/ttyUSB10"));

    // --writer takes an id, the tty, or the choice.
    struct Case {
        const char* name;
        const char* choice;  // nullptr: no such Writer
    } const cases[] = {
        {"QL000002", "serial:/x/dev/ttyUSB2"},
        {"/x/dev/ttyUSB1", "serial:/x/dev/ttyUSB1"},
        {"/x/dev/ttyUSB10", "serial:/x/dev/ttyUSB10"},
        {"serial:/x/dev/ttyUSB2", "serial:/x/dev/ttyUSB2"},
        {"QL00000", nullptr},
        {"FT9XYZ", nullptr},  // the cable that is no Writer
        {"/x/dev/ttyUSB0", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<backends::WriterEntry> found =
            backends::FindWriter(list, QLatin1String(c.name));
        ASSERT_EQ(found.has_value(), c.choice != nullptr);
        if (found) {
            EXPECT_EQ(found->choice, QLatin1String(c.choice));
        }
    }
}

TEST_F(ClassroomSysfs, NoWriterIsAnEmptyListWithTheReason) {
    FakeSysfs other;
    other.AddUsbTty(QStringLiteral("ttyUSB0"), 1, "0403", "FT232R USB UART", "FT9XYZ");
    const backends::WriterList list =
        backends::List(QStringLiteral("serial"), {other.root(), QStringLiteral("/dev")});
    EXPECT_TRUE(list.writers.empty());
    ASSERT_EQ(list.notes.size(), 1);
    EXPECT_TRUE(list.notes[0].startsWith(QStringLiteral("serial: no tty")))
        << list.notes[0].toStdString();
}
#endif

TEST(WriterList, GivenDevicesAreListedOnceInTheirOrder) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("w-1"));
    const QString b = dir.filePath(QStringLiteral("w-2"));
    for (const QString& path : {a, b}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const backends::WriterList list =
        backends::List(QStringLiteral("serial:%1, serial:%2,,serial:%1,sim,serial:%3")
                           .arg(b, a, dir.filePath(QStringLiteral("w-3"))));
    EXPECT_EQ(Ids(list), (std::vector<QString>{b, a, QStringLiteral("sim")}));
    EXPECT_EQ(list.writers[2].backend, QStringLiteral("sim"));
    ASSERT_EQ(list.notes.size(), 1);
    EXPECT_TRUE(list.notes[0].contains(QStringLiteral("w-3 does not exist")));

    // A tty path the listing did not ask for is taken as it is.
    const std::optional<backends::WriterEntry> given =
        backends::FindWriter(backends::WriterList{}, a);
    ASSERT_TRUE(given);
    EXPECT_EQ(given->choice, QStringLiteral("serial:") + a);
    EXPECT_FALSE(backends::FindWriter(backends::WriterList{}, QStringLiteral("w-1")));
}

TEST(WriterList, AnUnknownDeviceListsNothing) {
    const backends::WriterList list = backends::List(QStringLiteral("sim,burn"));
    EXPECT_TRUE(list.writers.empty());
    EXPECT_TRUE(list.error.contains(QStringLiteral("unknown device \"burn\"")))
        << list.error.toStdString();
}

TEST(WriterList, OneWriterProgramsTakeTheFirstDeviceOfAList) {
    VirtualClock clock;
    QString error;
    std::unique_ptr<Device> device =
        backends::Create(QStringLiteral(" sim , serial:/nowhere"), clock, &error);
    EXPECT_NE(dynamic_cast<SimDevice*>(device.get()), nullptr) << error.toStdString();
    EXPECT_FALSE(backends::Create(QStringLiteral("burn,sim"), clock, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("unknown device \"burn\"")));
#ifndef _WIN32  // no ftdi backend on Windows
    EXPECT_FALSE(backends::Create(QStringLiteral("ftdi:QL1"), clock, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("serial=NUMBER"))) << error.toStdString();
    EXPECT_TRUE(backends::Create(QStringLiteral("ftdi:serial=QL1"), clock, &error));
#endif
}
