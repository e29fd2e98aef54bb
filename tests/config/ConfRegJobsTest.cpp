// Reading the configuration word from the PIC on the simulated Writer.
#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "config/ConfRegJobs.h"

using texts::Text;

namespace {

FaultPlan Fault(const char* text) {
    QString error;
    return *FaultPlan::Parse(QString::fromLatin1(text), &error);
}

QString Lines(const char* osc, const char* wdt, const char* pwrte, const char* cp) {
    return QStringLiteral("FOSC    %1\r\nWDT     %2\r\nPWRTE   %3\r\nCP      %4")
        .arg(QLatin1String(osc), QLatin1String(wdt), QLatin1String(pwrte), QLatin1String(cp));
}

}  // namespace

TEST(ConfRegDisplay, FourLinesFromTheConfigurationByte) {
    EXPECT_EQ(ConfRegDisplayText(0x1A), Lines("HS", "OFF", "OFF", "OFF"));
    EXPECT_EQ(ConfRegDisplayText(0x00), Lines("LP", "OFF", "ON", "ON"));
    EXPECT_EQ(ConfRegDisplayText(0xFF), Lines("RC", "ON", "OFF", "OFF"));
    EXPECT_EQ(ConfRegDisplayText(0x05), Lines("XT", "ON", "ON", "ON"));
    EXPECT_EQ(ConfRegDisplayText(0x1A | 0xE0), ConfRegDisplayText(0x1A));  // bits 7..5 unseen
}

TEST(ReadConfRegComm, ShowsTheWordTheChipHolds) {
    JobRig rig;
    rig.device->firmware().chip().config[7] = 0x3F9A;
    auto env = rig.env();
    const ConfRegRead read = ReadConfRegComm(env, rig.view);
    EXPECT_EQ(read.outcome, JobOutcome::Done);
    ASSERT_TRUE(read.configByte);
    EXPECT_EQ(*read.configByte, 0x9A);
    EXPECT_EQ(rig.JobWire(), (QStringList{"w 59", "r 79", "r FF 9A"}));
    EXPECT_EQ(rig.view.texts, QStringList{Lines("HS", "OFF", "OFF", "OFF")});
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50, 50}));
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.device->closeCount(), 1);
}

TEST(ReadConfRegComm, RepliesAndFailures) {
    const QString link = TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2);
    const QString board = TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2);
    const QStringList notReady = {"w 59", "r 78", "w 43", "w 45"};
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wire;
        QStringList labels;  // what Label3 is set to
        QStringList messages;
    } const cases[] = {
        {"the bytes 0x3F and 0x00",
         Fault("byte=3:3F,byte=4:00"),
         {"w 59", "r 79", "r 3F 00"},
         {Lines("LP", "OFF", "ON", "ON")},
         {}},
        {"'?' at the first attempt", Fault("noboard=2"), {"w 59", "r 3F", "w 53"}, {}, {board}},
        {"'x', 'x', then 'y'",
         Fault("reply=2:'x',reply=5:'x'"),
         notReady + notReady + QStringList{"w 59", "r 79", "r FF FF"},
         {Lines("RC", "ON", "OFF", "OFF")},
         {}},
        {"three unexpected replies",
         Fault("reply=2:'x',reply=5:'x',reply=8:'x'"),
         notReady + notReady + notReady,
         {},
         {link}},
        {"a driver error on the reply", Fault("readerror=2"), {"w 59", "r error"}, {}, {link}},
        {"a driver error on the data",
         Fault("readerror=3"),
         {"w 59", "r 79", "r error"},
         {""},
         {link}},
        // The mend: one data byte that came is no display.
        {"only one data byte arrives",
         Fault("cut=3"),
         {"w 59", "r 79", "r FF timeout"},
         {""},
         {link}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobRig rig(c.faults);
        auto env = rig.env();
        const ConfRegRead read = ReadConfRegComm(env, rig.view);
        EXPECT_EQ(read.outcome == JobOutcome::Done, c.messages.isEmpty());
        EXPECT_EQ(read.configByte.has_value(), c.messages.isEmpty());
        EXPECT_EQ(rig.JobWire(), c.wire);
        EXPECT_EQ(rig.view.texts, c.labels);
        QStringList messages;
        for (const auto& m : rig.host.messages) messages << m.text;
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(rig.device->closeCount(), 1);
    }
}
