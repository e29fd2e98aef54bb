#include <gtest/gtest.h>

#include "SimFixture.h"
#include "link/LatencySetting.h"
#include "link/WriterLink.h"
#include "link/protocol/SevenBit.h"
#include "resources/Texts.h"

using texts::Text;

namespace {

const QString kLinkFailed = Text(texts::kLinkFailedLine1) + "\r\n" + Text(texts::kLinkFailedLine2);
const QString kNoBoard = Text(texts::kNoBoardLine1) + "\r\n" + Text(texts::kNoBoardLine2);

FaultPlan Refuse(std::initializer_list<int> commands, uint8_t reply = 'x') {
    FaultPlan plan;
    for (const int n : commands) plan.refuseCommand[n] = reply;
    return plan;
}

}  // namespace

TEST(SevenBitPair, EncodesAndDecodesFourteenBitWords) {
    EXPECT_EQ(sevenbit::Encode(0x3001), (std::array<uint8_t, 2>{0xE0, 0x81}));
    EXPECT_EQ(sevenbit::EncodeFileWord(0xFF, 0x3F), (std::array<uint8_t, 2>{0xFF, 0xFF}));
    EXPECT_EQ(sevenbit::EncodeFileWord(0x34, 0x12), (std::array<uint8_t, 2>{0xA4, 0xB4}));
    EXPECT_EQ(sevenbit::EncodeFileWord(0x0A, 0x28), (std::array<uint8_t, 2>{0xD0, 0x8A}));
    EXPECT_EQ(sevenbit::EncodeFileWord(0x80, 0x00), (std::array<uint8_t, 2>{0x81, 0x80}));
    EXPECT_EQ(sevenbit::Decode(0xE0, 0x81), 0x3001);
    EXPECT_EQ(sevenbit::Decode(0x60, 0x81), std::nullopt);
    EXPECT_EQ(sevenbit::Decode(0xE0, 0x01), std::nullopt);
}

TEST(OpenWriter, SetsTheLinkParametersInOrderThenSettles) {
    SimRig rig;
    EXPECT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_EQ(rig.trace,
              (QStringList{"0 open Q-LARK USB Programmer", "0 purge 3", "0 timeouts 5000 1000",
                           "0 baud 4800", "0 data 8 0 0", "0 flow 0 0 0", "0 latency 1"}));
    EXPECT_EQ(rig.host.sleeps, std::vector<int>{50});
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(OpenWriter, LatencyTimerComesFromTheEnvironmentWhenSet) {
    struct Case {
        const char* env;
        const char* call;
    } const cases[] = {{"16", "latency 16"}, {" 2 ", "latency 2"}, {"255", "latency 255"}};
    for (const Case& c : cases) {
        qputenv("QLARKW_LATENCY_MS", c.env);
        SimRig rig;
        EXPECT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
        EXPECT_EQ(rig.Calls().value(6), QString::fromLatin1(c.call)) << c.env;
    }
    qunsetenv("QLARKW_LATENCY_MS");
}

TEST(OpenWriter, NonsenseLatencyIsRefusedByNameAndValue) {
    // Windows has no empty environment variables: setting one to "" unsets it.
#ifdef Q_OS_WIN
    for (const char* text : {"0", "256", "-1", "1.5", "abc", "0x10"}) {
#else
    for (const char* text : {"0", "256", "-1", "1.5", "abc", "", "0x10"}) {
#endif
        qputenv("QLARKW_LATENCY_MS", text);
        QString error;
        EXPECT_FALSE(latency::FromEnvironment(&error)) << text;
        EXPECT_TRUE(error.startsWith(QStringLiteral("QLARKW_LATENCY_MS: \"%1\"").arg(text)))
            << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("from 1 to 255"))) << error.toStdString();
        // The link itself falls back on its own value.
        EXPECT_EQ(latency::LinkLatencyMs(), linkparams::kLatencyTimerMs);
    }
    qunsetenv("QLARKW_LATENCY_MS");
    QString error;
    EXPECT_EQ(latency::FromEnvironment(&error), linkparams::kLatencyTimerMs);
    EXPECT_TRUE(error.isEmpty());
}

// The bridge holds each reply until its latency timer, which runs from the
// open with its period, next expires; the program's own setting shortens it.
TEST(SimLatency, RepliesWaitForTheBridgesTimerOnTheVirtualClock) {
    SimDevice::Options options;
    options.latencyMs = 16;
    VirtualClock clock;
    SimDevice device(clock, options);
    ASSERT_EQ(device.OpenEx(kDeviceDescription), FT_OK);
    ASSERT_EQ(device.SetTimeouts(5000, 1000), FT_OK);
    uint8_t byte = cmd::kPoll;
    uint32_t count = 0;
    auto roundTrip = [&]() {
        byte = cmd::kPoll;
        EXPECT_EQ(device.Write(&byte, 1, &count), FT_OK);
        EXPECT_EQ(device.Read(&byte, 1, &count), FT_OK);
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(byte, cmd::kPollAck);
        return clock.NowMs();
    };
    // Written at 0, just after the expiry at 0: it crosses at 16.
    EXPECT_EQ(roundTrip(), 16);
    EXPECT_EQ(roundTrip(), 32);
    clock.SleepMs(5);  // written at 37: the next expiry is 48
    EXPECT_EQ(roundTrip(), 48);
    // A read that comes after the expiry waits no more.
    byte = cmd::kPoll;
    ASSERT_EQ(device.Write(&byte, 1, &count), FT_OK);
    clock.SleepMs(20);
    ASSERT_EQ(device.Read(&byte, 1, &count), FT_OK);
    EXPECT_EQ(clock.NowMs(), 68);

    // The program lowers the timer: from now on 1 ms per reply.
    ASSERT_EQ(device.SetLatencyTimer(1), FT_OK);
    EXPECT_EQ(roundTrip(), 69);
    EXPECT_EQ(roundTrip(), 70);
    device.Close();

    // The next open finds the bridge at its own setting again.
    ASSERT_EQ(device.OpenEx(kDeviceDescription), FT_OK);
    EXPECT_EQ(device.latencyMs(), 16);
    EXPECT_EQ(roundTrip(), 70 + 16);
    device.Close();
}

TEST(SimLatency, WithoutATimerToModelRepliesCrossAtOnceWhateverIsSet) {
    VirtualClock clock;
    SimDevice device(clock, SimDevice::Options{});
    ASSERT_EQ(device.OpenEx(kDeviceDescription), FT_OK);
    ASSERT_EQ(device.SetLatencyTimer(16), FT_OK);
    uint8_t byte = cmd::kPoll;
    uint32_t count = 0;
    ASSERT_EQ(device.Write(&byte, 1, &count), FT_OK);
    ASSERT_EQ(device.Read(&byte, 1, &count), FT_OK);
    EXPECT_EQ(byte, cmd::kPollAck);
    EXPECT_EQ(clock.NowMs(), 0);
    device.Close();
}

TEST(OpenWriter, AnUnpluggedWriterIsReportedUnlessQuiet) {
    FaultPlan unplugged;
    unplugged.openFails = true;
    SimRig rig(unplugged);
    EXPECT_TRUE(OpenWriter(*rig.device, rig.host, rig.state));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, Text(texts::kCheckUsbConnection));
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kAppTitle));
    EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.Calls(), QStringList{"open Q-LARK USB Programmer failed"});  // nothing set

    rig.state.QuietOpen = true;
    EXPECT_TRUE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_EQ(rig.host.messages.size(), 1u);
    EXPECT_FALSE(rig.state.QuietOpen);
    EXPECT_TRUE(OpenWriter(*rig.device, rig.host, rig.state));  // the next one speaks again
    EXPECT_EQ(rig.host.messages.size(), 2u);
}

// A Writer that is plugged in but this user may not open (no udev rule).
class NoPermissionDevice final : public Device {
  public:
    FtStatus OpenEx(const QByteArray&) override { return FT_NO_PERMISSION; }
    FtStatus Purge(uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetTimeouts(uint32_t, uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetBaudRate(uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetDataCharacteristics(uint8_t, uint8_t, uint8_t) override {
        return FT_INVALID_HANDLE;
    }
    FtStatus SetFlowControl(uint16_t, uint8_t, uint8_t) override { return FT_INVALID_HANDLE; }
    FtStatus Write(const uint8_t*, uint32_t, uint32_t*) override { return FT_INVALID_HANDLE; }
    FtStatus Read(uint8_t*, uint32_t, uint32_t*) override { return FT_INVALID_HANDLE; }
    FtStatus Close() override { return FT_INVALID_HANDLE; }
};

TEST(OpenWriter, AWriterTheUserMayNotOpenIsToldWhatGivesAccess) {
    SimRig rig;
    NoPermissionDevice device;
    EXPECT_TRUE(OpenWriter(device, rig.host, rig.state));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, Text(texts::kNoPermissionLine1) + "\r\n" +
                                             Text(texts::kNoPermissionLine2) + "\r\n" +
                                             Text(texts::kNoPermissionLine3));
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kAppTitle));
}

TEST(OpenWriter, QuietOpenIsClearedByASuccessfulOpenToo) {
    SimRig rig;
    rig.state.QuietOpen = true;
    EXPECT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_FALSE(rig.state.QuietOpen);
}

TEST(HandshakeWriter, SelectsTheBoardAndSettlesAfterTheAcknowledgement) {
    struct Case {
        int16_t board;
        const char* byte;
    } const cases[] = {{1, "w 41"}, {2, "w 42"}, {0, "w 42"}, {3, "w 42"}};
    for (const Case& c : cases) {
        SimRig rig;
        rig.state.BoardMode = c.board;
        ASSERT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
        EXPECT_FALSE(HandshakeWriter(*rig.device, rig.host, rig.state));
        EXPECT_EQ(rig.Wire(), (QStringList{c.byte, "r 61"})) << c.board;
        EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50}));
        EXPECT_EQ(rig.host.processEventsCount, 1);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_TRUE(rig.device->isOpen());
    }
}

TEST(HandshakeWriter, ThreeWrongAnswersEachGetTheRecoveryBytesThenOneMessage) {
    SimRig rig(Refuse({1, 5, 9}));  // 'B' is the 1st, 5th and 9th command byte
    ASSERT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_TRUE(HandshakeWriter(*rig.device, rig.host, rig.state));
    QStringList attempt = {"w 42", "r 78", "w 53", "w 43", "w 45", "r timeout"};
    EXPECT_EQ(rig.Wire(), attempt + attempt + attempt);
    EXPECT_EQ(rig.host.sleeps,
              (std::vector<int>{50, 20, 200, 200, 200, 20, 200, 200, 200, 20, 200, 200, 200}));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, kLinkFailed);
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionError));
    EXPECT_TRUE(rig.device->isOpen());  // the caller closes
}

TEST(HandshakeWriter, ASilentWriterTakesAboutThirtyTwoSeconds) {
    FaultPlan silent;
    silent.silent = true;
    SimRig rig(silent);
    ASSERT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_TRUE(HandshakeWriter(*rig.device, rig.host, rig.state));
    // Per attempt: 20 ms, a 5000 ms time-out, 600 ms of recovery, another time-out.
    EXPECT_EQ(rig.clock.NowMs(), 50 + 3 * (20 + 5000 + 600 + 5000));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].atMs, rig.clock.NowMs());
}

TEST(HandshakeWriter, AReadErrorFailsAtOnceWithoutRecovery) {
    FaultPlan fault;
    fault.readErrorAt = 1;
    SimRig rig(fault);
    ASSERT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_TRUE(HandshakeWriter(*rig.device, rig.host, rig.state));
    EXPECT_EQ(rig.Calls().mid(7), (QStringList{"w 42", "r error"}));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, kLinkFailed);
}

TEST(HandshakeWriter, ARecoveredWriterIsAcceptedOnTheNextAttempt) {
    SimRig rig(Refuse({1}));
    ASSERT_FALSE(OpenWriter(*rig.device, rig.host, rig.state));
    EXPECT_FALSE(HandshakeWriter(*rig.device, rig.host, rig.state));
    EXPECT_EQ(rig.Wire(),
              (QStringList{"w 42", "r 78", "w 53", "w 43", "w 45", "r timeout", "w 42", "r 61"}));
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(ReportWriterError, CodeTwoNamesTheBoardEveryOtherCodeTheLink) {
    VirtualClock clock;
    TestHost host(clock);
    for (const int16_t code : {2, 0, 1, 3, -1}) ReportWriterError(host, code);
    ASSERT_EQ(host.messages.size(), 5u);
    EXPECT_EQ(host.messages[0].text, kNoBoard);
    for (size_t i = 1; i < 5; ++i) EXPECT_EQ(host.messages[i].text, kLinkFailed);
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.caption, Text(texts::kCaptionError));
        EXPECT_EQ(m.icon, MsgIcon::Critical);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }
}
