// The start-up Writer check on the simulated Writer: bytes on the wire,
// pauses, messages and the end states.
#include <gtest/gtest.h>

#include "SimFixture.h"
#include "shared/ClockTimer.h"
#include "shell/StartupCheck.h"

namespace {

// The dialog and Timer1 as the check sees them, recording what it is told.
class FakeCheckView final : public StartupCheckView {
  public:
    FakeCheckView(Clock& clock, AppState& state) : timer(clock), state_(state) {
        timer.setInterval(15000);
        QObject::connect(&timer, &ClockTimer::timeout, [this]() {
            timer.stop();
            state_.StartupWaitActive = false;
        });
    }
    void PrepareCheck(const QString& text) override { calls << QStringLiteral("prepare ") + text; }
    void ShowCheck() override { calls << QStringLiteral("show"); }
    void UnloadCheck() override { calls << QStringLiteral("unload"); }
    void StartTimer() override { timer.start(); }
    void TickTimer() override { timer.Poll(); }
    void StopTimer() override {
        timer.stop();
        calls << QStringLiteral("stop timer");
    }
    bool Abandoned() const override { return ++abandonedAsked > closeAfter; }

    ClockTimer timer;
    QStringList calls;
    int closeAfter = 1 << 30;  // the user closes the dialog after this many looks
    mutable int abandonedAsked = 0;

  private:
    AppState& state_;
};

struct CheckRig {
    explicit CheckRig(FaultPlan faults = {}) : sim(std::move(faults)) {
        sim.state.StartupCheckState = 1;
    }
    StartupCheckResult Run() { return StartupWriterCheck(*sim.device, sim.host, sim.state, view); }
    SimRig sim;
    FakeCheckView view{sim.clock, sim.state};
};

const QString kChecking = QString::fromUtf8("Q-LARK USBライタと通信中...");
const QString kFailed = QString::fromUtf8("USBライタとの通信に失敗しました");

TEST(StartupCheck, WriterAnsweringAtOnce) {
    CheckRig rig;
    EXPECT_EQ(rig.Run(), StartupCheckResult::Answered);
    EXPECT_EQ(rig.sim.Wire(), QStringList({"w 53", "r 73", "w 53", "r 73", "w 43"}));
    // 50 ms settling, 200 ms before the first reply, 500 ms between the polls.
    EXPECT_EQ(rig.sim.host.sleeps, std::vector<int>({50, 200, 500}));
    EXPECT_TRUE(rig.sim.host.messages.empty());
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
    EXPECT_EQ(rig.sim.device->closeCount(), 1);
    EXPECT_EQ(rig.view.calls, QStringList({QStringLiteral("prepare ") + kChecking, "show",
                                           "stop timer", "unload"}));
}

TEST(StartupCheck, RepliesOtherThanSAreAskedAgain) {
    FaultPlan faults;  // the Writer's first two replies are 'x'
    faults.replaceByte[1] = 'x';
    faults.replaceByte[2] = 'x';
    CheckRig rig(faults);
    EXPECT_EQ(rig.Run(), StartupCheckResult::Answered);
    EXPECT_EQ(rig.sim.Wire(), QStringList({"w 53", "r 78", "w 53", "r 78", "w 53", "r 73", "w 53",
                                           "r 73", "w 43"}));
    EXPECT_EQ(rig.sim.host.sleeps, std::vector<int>({50, 200, 200, 200, 500}));
    EXPECT_TRUE(rig.sim.host.messages.empty());
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
}

TEST(StartupCheck, UnpluggedWriterEndsAtOnceWithTheOpenMessageOnly) {
    FaultPlan faults;
    faults.openFails = true;
    CheckRig rig(faults);
    EXPECT_EQ(rig.Run(), StartupCheckResult::NotOpened);
    ASSERT_EQ(rig.sim.host.messages.size(), 1u);
    EXPECT_EQ(rig.sim.host.messages[0].text,
              QString::fromUtf8("USBライタの接続を確認してください"));
    EXPECT_EQ(rig.sim.state.StartupCheckState, 2);
    EXPECT_FALSE(rig.view.calls.contains(QStringLiteral("show")));
    EXPECT_TRUE(rig.view.calls.contains(QStringLiteral("unload")));
    EXPECT_EQ(rig.sim.device->closeCount(), 0);
}

TEST(StartupCheck, FailingReadShowsTheMessageForThatPollAndPollingGoesOn) {
    FaultPlan faults;
    faults.readErrorAt = 1;
    CheckRig rig(faults);
    EXPECT_EQ(rig.Run(), StartupCheckResult::Answered);
    ASSERT_EQ(rig.sim.host.messages.size(), 1u);
    EXPECT_EQ(rig.sim.host.messages[0].text, kFailed);
    EXPECT_EQ(rig.sim.host.messages[0].caption, QString::fromUtf8("Q-LARK USBライタ"));
    EXPECT_EQ(rig.sim.host.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
}

TEST(StartupCheck, WriterUnpluggedInTheSecondPollIsAskedAtTheFirstPollsPaceUntilTimer1) {
    FaultPlan faults;  // gone from the second poll's 'S' on (the tenth device call)
    faults.goneAtCall = 10;
    CheckRig rig(faults);
    // Far more looks than the 15 s take: a wait that never passes ends here,
    // abandoned, instead of running on.
    rig.view.closeAfter = 1000;
    EXPECT_EQ(rig.Run(), StartupCheckResult::TimedOut);
    // A failed poll every 200 ms from 750 ms on, until Timer1's 15 s have
    // passed; then the time-out's message and the failed close's.
    const auto& messages = rig.sim.host.messages;
    ASSERT_EQ(messages.size(), 72u + 2u);
    for (const auto& m : messages) EXPECT_EQ(m.text, kFailed);
    EXPECT_EQ(messages[0].atMs, 750);
    EXPECT_EQ(messages[1].atMs, 950);
    EXPECT_EQ(messages.back().atMs, 15150);
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
    EXPECT_EQ(rig.sim.device->closeCount(), 1);
    EXPECT_FALSE(rig.view.timer.isActive());
}

TEST(StartupCheck, SilentWriterIsGivenUpAfterTimer1WithTheFailureMessage) {
    FaultPlan faults;
    faults.silent = true;
    CheckRig rig(faults);
    EXPECT_EQ(rig.Run(), StartupCheckResult::TimedOut);
    // Each poll: 200 ms and a 5000 ms read time-out; the third one passes 15 s.
    EXPECT_EQ(rig.sim.Wire().filter(QStringLiteral("w 53")).size(), 3);
    EXPECT_FALSE(rig.sim.Wire().contains(QStringLiteral("w 43")));
    ASSERT_EQ(rig.sim.host.messages.size(), 1u);
    EXPECT_EQ(rig.sim.host.messages[0].text, kFailed);
    EXPECT_EQ(rig.sim.host.messages[0].atMs, 50 + 3 * 5200);
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
    EXPECT_EQ(rig.sim.device->closeCount(), 1);
    EXPECT_FALSE(rig.view.timer.isActive());
}

TEST(StartupCheck, WithoutAnIntervalTheWaitGoesOnUntilTheUserClosesTheDialog) {
    FaultPlan faults;
    faults.silent = true;
    CheckRig rig(faults);
    rig.view.timer.setInterval(0);
    rig.view.closeAfter = 40;
    EXPECT_EQ(rig.Run(), StartupCheckResult::Abandoned);
    EXPECT_GT(rig.sim.clock.NowMs(), 2 * 15000);  // far past the time-out it would have had
    EXPECT_TRUE(rig.sim.host.messages.empty());
    EXPECT_EQ(rig.sim.state.StartupCheckState, 1);  // start-up never finished
    EXPECT_EQ(rig.sim.device->closeCount(), 1);     // the link is closed all the same
}

}  // namespace
