#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>

#ifdef Q_OS_WIN
#include <windows.h>
#undef MessageBox
#endif

#include "TestHost.h"
#include "backends/Backends.h"
#include "backends/d2xx/D2xxDevice.h"
#include "link/WriterLink.h"
#include "shared/AppState.h"

namespace {

// The fake library's own controls, reached through a second QLibrary on the
// same file (the loader keeps one copy of it in the process).
class FakeD2xx {
  public:
    explicit FakeD2xx(const char* file = FAKE_D2XX) : library_(QString::fromLocal8Bit(file)) {
        reset_ = reinterpret_cast<ResetFn>(library_.resolve("FakeD2xx_Reset"));
        log_ = reinterpret_cast<LogFn>(library_.resolve("FakeD2xx_Log"));
        setDevices_ = reinterpret_cast<SetDevicesFn>(library_.resolve("FakeD2xx_SetDevices"));
    }
    bool ok() const { return reset_ && log_ && setDevices_; }
    void SetDevices(const char* list) { setDevices_(list); }
    void Reset(bool present, const char* replies = "", uint32_t readStatus = 0) {
        reset_(present ? 1 : 0, replies, readStatus);
    }
    QStringList Calls() const { return QString::fromUtf8(log_()).split(u'\n', Qt::SkipEmptyParts); }

  private:
    using ResetFn = void (*)(int, const char*, uint32_t);
    using LogFn = const char* (*)();
    using SetDevicesFn = void (*)(const char*);
    QLibrary library_;
    SetDevicesFn setDevices_ = nullptr;
    ResetFn reset_ = nullptr;
    LogFn log_ = nullptr;
};

class D2xxDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fake.ok()) << "the fake D2XX library does not load";
        fake.Reset(true);
    }
    FakeD2xx fake;
    VirtualClock clock;
    TestHost host{clock};
    AppState state;
};

}  // namespace

TEST_F(D2xxDeviceTest, OpenWriterMakesTheNineCallsWithTheirArguments) {
    fake.Reset(true, "a");
    D2xxDevice device(QStringLiteral(FAKE_D2XX));
    state.BoardMode = 1;
    ASSERT_FALSE(OpenWriter(device, host, state));
    ASSERT_FALSE(HandshakeWriter(device, host, state));
    EXPECT_EQ(device.Close(), FT_OK);
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(fake.Calls(),
              (QStringList{"FT_OpenEx \"Q-LARK USB Programmer\" 2", "FT_Purge 3",
                           "FT_SetTimeouts 5000 1000", "FT_SetBaudRate 4800",
                           "FT_SetDataCharacteristics 8 0 0", "FT_SetFlowControl 0 0 0",
                           "FT_SetLatencyTimer 2", "FT_Write 65", "FT_Read 1", "FT_Close"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(D2xxDeviceTest, LatencyTimerTakesTheLibrarysLowestAndTheOverride) {
    struct Case {
        const char* env;  // QLARKW_LATENCY_MS, nullptr for unset
        const char* call;
    };
    for (const Case& c :
         {Case{nullptr, "FT_SetLatencyTimer 2"}, Case{"16", "FT_SetLatencyTimer 16"},
          Case{"2", "FT_SetLatencyTimer 2"}, Case{"255", "FT_SetLatencyTimer 255"}}) {
        SCOPED_TRACE(c.env ? c.env : "unset");
        if (c.env)
            qputenv("QLARKW_LATENCY_MS", c.env);
        else
            qunsetenv("QLARKW_LATENCY_MS");
        fake.Reset(true);
        D2xxDevice device(QStringLiteral(FAKE_D2XX));
        ASSERT_FALSE(OpenWriter(device, host, state));
        const QStringList calls = fake.Calls();
        ASSERT_GE(calls.size(), 7);
        EXPECT_EQ(calls[5], QStringLiteral("FT_SetFlowControl 0 0 0"));
        EXPECT_EQ(calls[6], QString::fromLatin1(c.call));
        device.Close();
    }
    qunsetenv("QLARKW_LATENCY_MS");
}

TEST_F(D2xxDeviceTest, LibraryWithoutTheLatencyCallStillOpensTheWriter) {
    FakeD2xx older(FAKE_D2XX_NO_LATENCY);
    ASSERT_TRUE(older.ok());
    older.Reset(true, "a");
    D2xxDevice device(QStringLiteral(FAKE_D2XX_NO_LATENCY));
    ASSERT_FALSE(OpenWriter(device, host, state)) << device.LastError().toStdString();
    EXPECT_EQ(device.SetLatencyTimer(1), FT_NOT_SUPPORTED);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("FT_SetLatencyTimer")))
        << device.LastError().toStdString();
    ASSERT_FALSE(HandshakeWriter(device, host, state));
    EXPECT_EQ(device.Close(), FT_OK);
    EXPECT_EQ(older.Calls().mid(5),
              (QStringList{"FT_SetFlowControl 0 0 0", "FT_Write 66", "FT_Read 1", "FT_Close"}));
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(D2xxDeviceTest, ReadsAndWritesPassCountsAndStatusesThrough) {
    fake.Reset(true, "xy", 0);
    D2xxDevice device(QStringLiteral(FAKE_D2XX));
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    uint8_t buffer[4] = {};
    uint32_t count = 99;
    // A short read is OK with fewer bytes, as the library reports it.
    EXPECT_EQ(device.Read(buffer, 4, &count), FT_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(buffer[1], 'y');
    const uint8_t pair[2] = {0x81, 0xFF};
    EXPECT_EQ(device.Write(pair, 2, &count), FT_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(fake.Calls().last(), QStringLiteral("FT_Write 129 255"));
    device.Close();

    fake.Reset(true, "", FT_IO_ERROR);
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    EXPECT_EQ(device.Read(buffer, 1, &count), FT_IO_ERROR);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("FT_Read")))
        << device.LastError().toStdString();
    device.Close();
}

TEST_F(D2xxDeviceTest, NoWriterPluggedInIsDeviceNotFound) {
    fake.Reset(false);
    D2xxDevice device(QStringLiteral(FAKE_D2XX));
    EXPECT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.isOpen());
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("\"Q-LARK USB Programmer\"")));
    // Nothing else is called on a device that did not open.
    EXPECT_EQ(device.Purge(3), FT_INVALID_HANDLE);
    EXPECT_EQ(device.Close(), FT_INVALID_HANDLE);
    EXPECT_EQ(fake.Calls(), QStringList{"FT_OpenEx \"Q-LARK USB Programmer\" 2"});

    // Through the link: the unplugged Writer's message, nothing more.
    ASSERT_TRUE(OpenWriter(device, host, state));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, QStringLiteral("USBライタの接続を確認してください"));
}

TEST_F(D2xxDeviceTest, MissingLibraryOrCallMakesTheBackendUnavailable) {
    D2xxDevice missing(QStringLiteral("/nonexistent/libftd2xx.so"));
    EXPECT_EQ(missing.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(missing.LastError().contains(QStringLiteral("/nonexistent/libftd2xx.so")))
        << missing.LastError().toStdString();

    D2xxDevice incomplete(QStringLiteral(FAKE_D2XX_INCOMPLETE));
    EXPECT_EQ(incomplete.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(incomplete.LastError().contains(QStringLiteral("lacks FT_SetFlowControl")))
        << incomplete.LastError().toStdString();
    EXPECT_FALSE(incomplete.LastError().contains(QStringLiteral("FT_Purge")));
}

TEST_F(D2xxDeviceTest, BackendTakesTheLibraryFileAfterItsName) {
    fake.Reset(true, "a");
    QString error;
    std::unique_ptr<Device> device =
        backends::Create(QStringLiteral("d2xx:") + QStringLiteral(FAKE_D2XX), clock, &error);
    ASSERT_TRUE(device) << error.toStdString();
    ASSERT_FALSE(OpenWriter(*device, host, state));
    EXPECT_EQ(device->Close(), FT_OK);
    EXPECT_EQ(fake.Calls().first(), QStringLiteral("FT_OpenEx \"Q-LARK USB Programmer\" 2"));
}

TEST(D2xxCli, MissingLibraryFailsLikeAnUnpluggedWriterAndVerboseSaysWhy) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QLARKW_DEVICE"), QStringLiteral("d2xx:/nonexistent/libftd2xx.so"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QLARKW_CLI), {QStringLiteral("--verbose"), QStringLiteral("erase")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 4);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("USBライタの接続を確認してください")))
        << err.toStdString();
    EXPECT_TRUE(
        err.contains(QStringLiteral("cannot load the D2XX library /nonexistent/libftd2xx.so")))
        << err.toStdString();
}

// The device-info list: the Writers among the devices, each opened by its
// serial number through the choice the list gives.
TEST_F(D2xxDeviceTest, ListsTheWritersAndOpensOneBySerialNumber) {
    fake.SetDevices(
        "QL000001|Q-LARK USB Programmer;FT9XYZ|FT232R USB UART;QL000002|Q-LARK USB Programmer");
    const backends::WriterList list =
        backends::List(QStringLiteral("d2xx:") + QStringLiteral(FAKE_D2XX));
    ASSERT_EQ(list.writers.size(), 2u) << list.notes.join(u'\n').toStdString();
    EXPECT_EQ(list.writers[0].id, QStringLiteral("QL000001"));
    EXPECT_EQ(list.writers[0].backend, QStringLiteral("d2xx"));
    EXPECT_EQ(list.writers[0].location, QStringLiteral("location 0x1000"));
    EXPECT_EQ(list.writers[1].id, QStringLiteral("QL000002"));
    EXPECT_EQ(list.writers[1].location, QStringLiteral("location 0x1002"));
    EXPECT_EQ(list.writers[1].choice,
              QStringLiteral("d2xx:serial=QL000002:") + QStringLiteral(FAKE_D2XX));

    std::unique_ptr<Device> device = backends::Create(list.writers[1].choice, clock, nullptr);
    ASSERT_TRUE(device);
    state.BoardMode = 1;
    fake.Reset(true, "a");
    fake.SetDevices("QL000001|Q-LARK USB Programmer;QL000002|Q-LARK USB Programmer");
    ASSERT_FALSE(OpenWriter(*device, host, state));
    EXPECT_EQ(device->Close(), FT_OK);
    EXPECT_EQ(fake.Calls().first(), QStringLiteral("FT_OpenEx \"QL000002\" 1"));

    // A Writer unplugged since the listing: not found, by its number.
    fake.SetDevices("QL000001|Q-LARK USB Programmer");
    EXPECT_EQ(device->OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(device->LastError().contains(QStringLiteral("serial number \"QL000002\"")))
        << device->LastError().toStdString();
}

TEST_F(D2xxDeviceTest, ListingWithoutTheLibraryOrItsInfoListSaysWhy) {
    QString error;
    EXPECT_TRUE(D2xxDevice::ListWriters(QStringLiteral("/nonexistent/libftd2xx.so"),
                                        "Q-LARK USB Programmer", &error)
                    .empty());
    EXPECT_TRUE(error.contains(QStringLiteral("cannot load"))) << error.toStdString();
    fake.SetDevices("");
    const backends::WriterList none =
        backends::List(QStringLiteral("d2xx:") + QStringLiteral(FAKE_D2XX));
    EXPECT_TRUE(none.writers.empty());
    ASSERT_EQ(none.notes.size(), 1);
    EXPECT_TRUE(none.notes[0].startsWith(QStringLiteral("d2xx: no device in the D2XX device list")))
        << none.notes[0].toStdString();
}

#ifdef Q_OS_WIN
// Windows: the library is "ftd2xx.dll", found by the system's loader where
// it looks for a program's DLLs (here a folder added to that search); with
// it, `auto` opens the Writer by its description and sets the latency.
TEST(D2xxOnWindows, AutoLoadsFtd2xxDllByNameAndOpensTheWriterByDescription) {
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(QStringLiteral(FAKE_D2XX), dir.filePath(QStringLiteral("ftd2xx.dll"))));
    const std::wstring folder = QDir::toNativeSeparators(dir.path()).toStdWString();
    ASSERT_TRUE(::SetDllDirectoryW(folder.c_str()));
    {
        FakeD2xx fake("ftd2xx.dll");
        ASSERT_TRUE(fake.ok());
        fake.Reset(true, "a");
        VirtualClock clock;
        TestHost host(clock);
        AppState state;
        QString error;
        std::unique_ptr<Device> device = backends::Create(QStringLiteral("auto"), clock, &error);
        ASSERT_TRUE(device) << error.toStdString();
        ASSERT_FALSE(OpenWriter(*device, host, state)) << device->LastError().toStdString();
        EXPECT_EQ(device->Close(), FT_OK);
        const QStringList calls = fake.Calls();
        ASSERT_GE(calls.size(), 7);
        EXPECT_EQ(calls[0], QStringLiteral("FT_OpenEx \"Q-LARK USB Programmer\" 2"));
        EXPECT_EQ(calls[6], QStringLiteral("FT_SetLatencyTimer 2"));
        EXPECT_EQ(calls.last(), QStringLiteral("FT_Close"));
    }
    ::SetDllDirectoryW(nullptr);
}
#endif
