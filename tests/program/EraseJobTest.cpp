#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "program/ProgramJobs.h"

using texts::Text;

namespace {

struct EraseRig : JobRig {
    using JobRig::JobRig;
    JobOutcome Erase() {
        auto e = env();
        return ErasePrgComm(e);
    }
};

}  // namespace

TEST(ErasePrgComm, OneCommandErasesProgramMemory) {
    EraseRig rig;
    rig.device->firmware().chip().program[5] = 0x0123;
    EXPECT_EQ(rig.Erase(), JobOutcome::Done);
    EXPECT_EQ(rig.JobWire(), (QStringList{"w 4C", "r 61"}));
    EXPECT_EQ(rig.device->firmware().chip().program[5], 0x3FFF);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, Text(texts::kEraseDone));
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kAppTitle));
    EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(rig.device->closeCount(), 1);
}

TEST(ErasePrgComm, FailuresAreReportedWithTheLinkMessages) {
    const QString linkFailed = TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2);
    FaultPlan noBoard;
    noBoard.boardMissing[2] = true;
    FaultPlan closeFails;
    closeFails.closeFails = true;
    FaultPlan readError;
    readError.readErrorAt = 2;
    const QStringList notReady = {"w 4C", "r 78", "w 43", "w 45"};
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wire;
        QString message;
        JobOutcome outcome;
    } const cases[] = {
        {"no target board",
         noBoard,
         {"w 4C", "r 3F", "w 53"},
         TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2),
         JobOutcome::NoBoard},
        // Unlike the write and the read, the erase's recovery sends no 'S'.
        {"not ready three times", Refuse({2, 5, 8}), notReady + notReady + notReady, linkFailed,
         JobOutcome::LinkFailure},
        {"the close fails", closeFails, {"w 4C", "r 61"}, linkFailed, JobOutcome::LinkFailure},
        {"a read error", readError, {"w 4C", "r error"}, linkFailed, JobOutcome::LinkFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EraseRig rig(c.faults);
        EXPECT_EQ(rig.Erase(), c.outcome);
        EXPECT_EQ(rig.JobWire(), c.wire);
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].text, c.message);
        EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionError));
        EXPECT_EQ(rig.device->closeCount(), 1);
    }
    EraseRig busy(Refuse({2, 5, 8}));
    busy.Erase();
    EXPECT_EQ(busy.host.sleeps, (std::vector<int>{50, 20, 50, 200, 200, 200}));
}
