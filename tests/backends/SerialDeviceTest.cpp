#include <gtest/gtest.h>

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "SimProcess.h"
#include "TestHost.h"
#include "backends/serial/SerialDevice.h"
#include "link/ForwardingDevice.h"
#include "link/WriterLink.h"
#include "program/ProgramJobs.h"
#include "shared/AppState.h"

namespace {

// The serial backend on a qlarkw-sim pty; the jobs' host on the real clock
// would sleep for real, so the link steps get a host on a virtual clock:
// only the device's own waits take real time.
class SerialDeviceTest : public ::testing::Test {
  protected:
    void StartSim(const QStringList& args = {QStringLiteral("--pace"), QStringLiteral("instant")}) {
        ASSERT_TRUE(sim.Start(args, {QStringLiteral("QLARKW_SIM_TRACE=") + tracePath()}));
    }
    QString tracePath() const { return dir.filePath(QStringLiteral("trace.txt")); }
    SerialDevice::Options Options() const { return SerialDevice::Options{sim.path()}; }

    QTemporaryDir dir;
    SimProcess sim;
    VirtualClock clock;
    TestHost host{clock};
    AppState state;
};

// Counts the job's calls on the way to the serial device and can make the
// simulator vanish before the n-th read.
class Watched final : public ForwardingDevice {
  public:
    Watched(Device& inner, std::function<void()> vanish, int vanishBeforeRead)
        : ForwardingDevice(&inner),
          vanish_(std::move(vanish)),
          vanishBeforeRead_(vanishBeforeRead) {}
    FtStatus Read(uint8_t* d, uint32_t n, uint32_t* r) override {
        if (++reads == vanishBeforeRead_) vanish_();
        const FtStatus status = ForwardingDevice::Read(d, n, r);
        if (status != FT_OK) ++failedReads;
        return status;
    }
    FtStatus Close() override {
        ++closes;
        return ForwardingDevice::Close();
    }
    int reads = 0;
    int failedReads = 0;
    int closes = 0;

  private:
    std::function<void()> vanish_;
    int vanishBeforeRead_;
};

}  // namespace

TEST_F(SerialDeviceTest, OpenWriterSetsTheTtyTo4800Baud8N1RawWithoutFlowControl) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_FALSE(OpenWriter(device, host, state)) << device.LastError().toStdString();
    ASSERT_FALSE(HandshakeWriter(device, host, state));
    EXPECT_EQ(device.Close(), FT_OK);
    EXPECT_EQ(sim.Stop(), 0);
    const QStringList events = TraceEvents(tracePath());
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events[0], QStringLiteral("open"));
    EXPECT_EQ(events[1], QStringLiteral("line 4800 8N1 raw none"));
    EXPECT_EQ(events.mid(2), (QStringList{"w 42", "r 61", "close"}));
}

TEST_F(SerialDeviceTest, APtyHasNoLatencyTimerAndTheLinkGoesOn) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_FALSE(OpenWriter(device, host, state)) << device.LastError().toStdString();
    EXPECT_EQ(device.SetLatencyTimer(1), FT_NOT_SUPPORTED);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("cannot set the latency timer")))
        << device.LastError().toStdString();
    ASSERT_FALSE(HandshakeWriter(device, host, state));
    EXPECT_EQ(device.Close(), FT_OK);
    EXPECT_TRUE(host.messages.empty());
}

#ifdef __linux__
TEST_F(SerialDeviceTest, LatencyTimerIsWrittenToTheSysfsAttributeWhereThereIsOne) {
    StartSim();
    // A sysfs tree in which the pty is a usb-serial port with the attribute.
    QTemporaryDir sysfs;
    const QString name = QFileInfo(QFileInfo(sim.path()).canonicalFilePath()).fileName();
    const QString port = sysfs.filePath(QStringLiteral("class/tty/%1/device").arg(name));
    ASSERT_TRUE(QDir().mkpath(port));
    const QString attribute = port + QStringLiteral("/latency_timer");
    auto attributeValue = [&attribute]() {
        QFile file(attribute);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("none");
    };
    {
        QFile file(attribute);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("16\n");
    }
    SerialDevice::Options options = Options();
    options.sysfsRoot = sysfs.path();
    SerialDevice device(options);
    ASSERT_FALSE(OpenWriter(device, host, state)) << device.LastError().toStdString();
    EXPECT_EQ(attributeValue(), QByteArray("1"));
    for (const uint8_t ms : {16, 2, 255}) {
        EXPECT_EQ(device.SetLatencyTimer(ms), FT_OK) << device.LastError().toStdString();
        EXPECT_EQ(attributeValue(), QByteArray::number(ms));
    }
    EXPECT_EQ(device.Close(), FT_OK);

    // An attribute the user may not write: told, not fatal.
    ASSERT_TRUE(QFile::remove(attribute));
    ASSERT_TRUE(QDir().mkpath(attribute));  // a folder cannot be written as a file
    ASSERT_FALSE(OpenWriter(device, host, state));
    EXPECT_EQ(device.SetLatencyTimer(16), FT_NOT_SUPPORTED);
    EXPECT_TRUE(device.LastError().contains(attribute)) << device.LastError().toStdString();
    ASSERT_FALSE(HandshakeWriter(device, host, state));
    EXPECT_EQ(device.Close(), FT_OK);
}
#endif

TEST_F(SerialDeviceTest, LineSettingsReachTheTty) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    EXPECT_EQ(device.SetBaudRate(9600), FT_OK);
    // 2 stop bits; a pty keeps 8 bits without parity whatever it is told,
    // so the word length and parity cannot be seen from the other side.
    EXPECT_EQ(device.SetDataCharacteristics(8, 2, 0), FT_OK);
    EXPECT_EQ(device.SetFlowControl(0x0400, 0x11, 0x13), FT_OK);
    EXPECT_EQ(device.SetBaudRate(4801), FT_INVALID_BAUD_RATE);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("4801")));
    EXPECT_EQ(device.SetDataCharacteristics(9, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(device.SetFlowControl(0x0800, 0, 0), FT_INVALID_PARAMETER);
    // The simulator notes the settings when the first byte comes; the
    // reply shows it has.
    ASSERT_EQ(device.SetTimeouts(5000, 1000), FT_OK);
    const uint8_t select = 'A';
    uint32_t count = 0;
    ASSERT_EQ(device.Write(&select, 1, &count), FT_OK);
    uint8_t reply = 0;
    ASSERT_EQ(device.Read(&reply, 1, &count), FT_OK);
    EXPECT_EQ(reply, 'a');
    EXPECT_EQ(device.Close(), FT_OK);
    EXPECT_EQ(sim.Stop(), 0);
    const QStringList events = TraceEvents(tracePath());
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events[1].toStdString(), "line 9600 8N2 raw xonxoff");
}

TEST_F(SerialDeviceTest, ReadThatTimesOutReturnsOkWithFewerBytesAfterTheTimeOut) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    ASSERT_EQ(device.SetTimeouts(400, 1000), FT_OK);
    const uint8_t select = 'A';
    uint32_t count = 0;
    ASSERT_EQ(device.Write(&select, 1, &count), FT_OK);
    EXPECT_EQ(count, 1u);

    // Two bytes asked for, one answered: OK with one, once the time is up.
    uint8_t reply[2] = {0, 0};
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(device.Read(reply, 2, &count), FT_OK);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(reply[0], 'a');
    EXPECT_GE(elapsed, 395);
    EXPECT_LT(elapsed, 15000);

    // Nothing at all: OK with none.
    timer.restart();
    EXPECT_EQ(device.Read(reply, 1, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_GE(timer.elapsed(), 395);

    // A zero time-out takes what is there and does not wait for more.
    ASSERT_EQ(device.SetTimeouts(0, 1000), FT_OK);
    EXPECT_EQ(device.Read(reply, 1, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(device.Close(), FT_OK);
}

TEST_F(SerialDeviceTest, PurgeDropsRepliesNotYetRead) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    ASSERT_EQ(device.SetTimeouts(5000, 1000), FT_OK);
    const uint8_t version = '@';
    uint32_t count = 0;
    ASSERT_EQ(device.Write(&version, 1, &count), FT_OK);
    // The simulator sends "108a" in one go: once the first byte is here,
    // the others are too.
    uint8_t byte = 0;
    ASSERT_EQ(device.Read(&byte, 1, &count), FT_OK);
    ASSERT_EQ(byte, '1');
    EXPECT_EQ(device.Purge(FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    ASSERT_EQ(device.SetTimeouts(300, 1000), FT_OK);
    uint8_t rest[3] = {};
    EXPECT_EQ(device.Read(rest, 3, &count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(device.Close(), FT_OK);
}

TEST_F(SerialDeviceTest, OpensExclusivelyAndAgainAfterClose) {
    StartSim();
    SerialDevice first(Options());
    SerialDevice second(Options());
    ASSERT_EQ(first.OpenEx("Q-LARK USB Programmer"), FT_OK);
    EXPECT_EQ(second.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_OPENED);
    EXPECT_TRUE(second.LastError().contains(sim.path())) << second.LastError().toStdString();
    EXPECT_FALSE(second.isOpen());
    EXPECT_EQ(first.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_OPENED);  // already open
    EXPECT_EQ(first.Close(), FT_OK);
    EXPECT_EQ(first.Close(), FT_INVALID_HANDLE);
    EXPECT_EQ(second.OpenEx("Q-LARK USB Programmer"), FT_OK) << second.LastError().toStdString();
    EXPECT_EQ(second.Close(), FT_OK);
}

TEST(SerialDevice, PathsThatAreNoWriterAreRefusedWithTheReason) {
    SerialDevice missing(SerialDevice::Options{QStringLiteral("/dev/nonexistent-tty")});
    EXPECT_EQ(missing.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(missing.LastError().startsWith(QStringLiteral("/dev/nonexistent-tty: ")));

    SerialDevice notTty(SerialDevice::Options{QStringLiteral("/dev/null")});
    EXPECT_EQ(notTty.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(notTty.LastError(), QStringLiteral("/dev/null: not a serial port"));
    EXPECT_FALSE(notTty.isOpen());

    uint8_t byte = 0;
    uint32_t count = 5;
    EXPECT_EQ(notTty.Read(&byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(notTty.Write(&byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(notTty.Purge(3), FT_INVALID_HANDLE);
}

// The simulator is killed in the middle of the read-out: the job reports the
// failed communication and closes the device, once.
TEST_F(SerialDeviceTest, PeerVanishingMidJobIsACommunicationFailure) {
    StartSim({QStringLiteral("--pace"), QStringLiteral("real")});
    SerialDevice serial(Options());
    Watched device(
        serial, [this]() { sim.Kill(); }, 40);
    state.BoardMode = 2;
    JobEnv env{device, host, state};
    RecordingView view;
    ProgramImage image;
    EXPECT_EQ(ReadProgramMemory(env, view, &image), JobOutcome::LinkFailure);
    EXPECT_GE(device.reads, 40);
    EXPECT_EQ(device.failedReads, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_FALSE(serial.isOpen());
    EXPECT_TRUE(serial.LastError().contains(QStringLiteral("hung up")))
        << serial.LastError().toStdString();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(
        host.messages[0].text,
        QStringLiteral(
            "ライタとの通信に失敗しました。\r\n接続を確認をしてからもう一度操作してください。"));
    EXPECT_EQ(host.messages[0].caption, QStringLiteral("エラーが発生しました"));
}

TEST_F(SerialDeviceTest, ReadOnAHungUpLineFailsAtOnceRatherThanTimingOut) {
    StartSim();
    SerialDevice device(Options());
    ASSERT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_OK);
    ASSERT_EQ(device.SetTimeouts(60000, 1000), FT_OK);
    sim.Kill();
    uint8_t byte = 0;
    uint32_t count = 0;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(device.Read(&byte, 1, &count), FT_IO_ERROR);
    EXPECT_LT(timer.elapsed(), 60000);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(device.Close(), FT_OK);
}
