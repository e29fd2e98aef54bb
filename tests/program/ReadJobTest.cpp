#include <gtest/gtest.h>
#include <QDir>

#include "JobTestSupport.h"
#include "program/ProgramJobs.h"

using texts::Text;

namespace {

struct ReadRig : JobRig {
    using JobRig::JobRig;
    ReadRig() {
        out = dir.filePath(QStringLiteral("out.hex"));
        host.saveAnswer = out;
    }
    explicit ReadRig(FaultPlan faults) : JobRig(std::move(faults)) {
        out = dir.filePath(QStringLiteral("out.hex"));
        host.saveAnswer = out;
    }
    JobOutcome Read() {
        auto e = env();
        return ReadPrgComm(e, view);
    }
    QString out;
};

}  // namespace

TEST(ReadPrgComm, ABlankChipGivesTheFullFileWithItsChecksums) {
    ReadRig rig;
    EXPECT_EQ(rig.Read(), JobOutcome::Done);
    const QList<QByteArray> lines = rig.ReadFile(rig.out).split('\n');
    ASSERT_EQ(lines.size(), 131);  // 130 lines, each ended by CR LF
    EXPECT_TRUE(lines.back().isEmpty());
    const QByteArray blank = QByteArray("FF3F").repeated(8);
    EXPECT_EQ(lines[0], ":10000000" + blank + "00\r");
    EXPECT_EQ(lines[1], ":10001000" + blank + "F0\r");
    EXPECT_EQ(lines[127], ":1007F000" + blank + "09\r");
    EXPECT_TRUE(lines[128].startsWith(":10400000"));
    EXPECT_EQ(lines[129], ":00000001FF\r");
    for (int i = 0; i < 128; ++i) EXPECT_EQ(lines[i].size(), 44) << i;

    // 'R' answered 'r', then 1032 words of two bytes each, read one at a time;
    // nothing is sent after the 'r' and the link is simply closed.
    const QStringList wire = rig.JobWire();
    ASSERT_EQ(wire.size(), 2 + 2 * 1032);
    EXPECT_EQ(wire.mid(0, 4), (QStringList{"w 52", "r 72", "r FF", "r FF"}));
    EXPECT_EQ(rig.Calls().back(), "close");
    EXPECT_EQ(rig.device->closeCount(), 1);

    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, Text(texts::kReadDone));
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kAppTitle));
    EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(rig.host.saveProposals, QStringList{QDir::toNativeSeparators(
                                          QDir::current().filePath(QStringLiteral("qlark.hex")))});
    EXPECT_EQ(rig.view.texts.first(), Text("アドレス    0 受信中"));
    EXPECT_TRUE(rig.view.texts.contains(Text("アドレス 2007 受信中")));
    EXPECT_EQ(rig.view.texts.last(), Text(texts::kWritingFile));
    EXPECT_EQ(rig.view.lastDone, 1032);
}

TEST(ReadPrgComm, WritesWordsAsReceivedAndTheConfigurationWordIsFoundAgain) {
    ReadRig rig;
    ChipMemory& chip = rig.device->firmware().chip();
    chip.program[0] = 0x3001;
    chip.program[0x3FF] = 0x0ABC;
    chip.config = {0x0001, 0x0002, 0x0003, 0x0004, 0x3FFF, 0x3FFF, 0x0560, 0x3FF9};
    EXPECT_EQ(rig.Read(), JobOutcome::Done);
    const QList<QByteArray> lines = hex::SplitLines(rig.ReadFile(rig.out));
    EXPECT_TRUE(lines[0].startsWith(":100000000130FF3F"));
    EXPECT_TRUE(lines[127].endsWith("BC0A" + QByteArray().append(lines[127].right(2))));
    EXPECT_EQ(lines[128],
              hex::FormatRecord(0x4000, 0,
                                std::vector<uint8_t>{0x01, 0, 0x02, 0, 0x03, 0, 0x04, 0, 0xFF, 0x3F,
                                                     0xFF, 0x3F, 0x60, 0x05, 0xF9, 0x3F}));
    for (const QByteArray& line : lines)
        EXPECT_TRUE(hex::ParseRecord(line).ok()) << line.constData();

    rig.state.ConfigWord = 26;
    EXPECT_EQ(LoadHexConfigWord(rig.host, rig.state, hexprogram::ReadFile(rig.out)),
              ConfigLoad::Found);
    EXPECT_EQ(rig.state.ConfigWord, 0x3FF9);
}

TEST(ReadPrgComm, CancellingTheSaveQuestionWritesNothingAndSaysNothing) {
    ReadRig rig;
    rig.host.saveAnswer.reset();
    EXPECT_EQ(rig.Read(), JobOutcome::Cancelled);
    EXPECT_FALSE(QFile::exists(rig.out));
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.device->closeCount(), 1);
}

TEST(ReadPrgComm, AReadOutThatEndsEarlyIsAFailureAndKeepsTheOldFile) {
    FaultPlan cut;
    cut.cutAfter = 2 + 2 * 100;  // 'a', 'r' and 100 words
    FaultPlan notData;
    notData.replaceByte[2 + 2 * 500 + 2] = 0x05;  // word 500's second byte without bit 7
    FaultPlan readError;
    readError.readErrorAt = 2 + 7;
    for (const FaultPlan& faults : {cut, notData, readError}) {
        ReadRig rig(faults);
        rig.WriteFile(QStringLiteral("out.hex"), "good\r\n");
        EXPECT_EQ(rig.Read(), JobOutcome::LinkFailure);
        EXPECT_EQ(rig.ReadFile(rig.out), "good\r\n");
        EXPECT_TRUE(rig.host.saveProposals.isEmpty());  // not even asked
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].text,
                  TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2));
        EXPECT_EQ(rig.device->closeCount(), 1);
        EXPECT_EQ(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{"out.hex"});
    }
}

TEST(ReadPrgComm, AFileThatCannotBeWrittenIsAFileError) {
    ReadRig rig;
    rig.host.saveAnswer = rig.dir.path();  // a folder, not a file
    EXPECT_EQ(rig.Read(), JobOutcome::FileError);
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, TwoLines(texts::kFileError, texts::kTryAgain));
    EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionError));
    EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Critical);
}

TEST(ReadPrgComm, NoTargetBoardAndAWriterThatIsNotReady) {
    FaultPlan noBoard;
    noBoard.boardMissing[2] = true;
    ReadRig rig(noBoard);
    EXPECT_EQ(rig.Read(), JobOutcome::NoBoard);
    EXPECT_EQ(rig.JobWire(), (QStringList{"w 52", "r 3F", "w 53"}));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2));

    ReadRig busy(Refuse({2, 6, 10}));
    EXPECT_EQ(busy.Read(), JobOutcome::LinkFailure);
    const QStringList attempt = {"w 52", "r 78", "w 53", "w 43", "w 45"};
    EXPECT_EQ(busy.JobWire(), attempt + attempt + attempt);
    EXPECT_EQ(busy.device->closeCount(), 1);
    EXPECT_FALSE(QFile::exists(busy.out));
}

// The chip against what a write of the plan programs: the plan's words
// within program memory (a record at word 1024 is beyond it) and ConfigWord's
// bits 6..0.
TEST(VerifyProgram, TellsEachWordAndTheConfigurationBitsThatDiffer) {
    ReadRig rig;
    const hexprogram::WritePlan plan = hexprogram::PlanWrite(
        HexText({DataRecord(0x0000, {0x01, 0x30, 0x0A, 0x28}), DataRecord(0x0800, {0x34, 0x12})}));
    auto& chip = rig.device->firmware().chip();
    chip.program[0] = 0x3001;
    rig.state.ConfigWord = 0x3FF9;
    auto e = rig.env();
    const ProgramVerifyResult differs = VerifyProgram(e, plan, rig.view);
    EXPECT_EQ(differs.outcome, JobOutcome::Mismatch);
    EXPECT_EQ(differs.compared, 2);
    EXPECT_EQ(differs.words, (std::vector<WordDifference>{{1, 0x280A, 0x3FFF}}));
    EXPECT_EQ(differs.configBits, (ConfigBitsDifference{0x79, 0x7F}));
    EXPECT_TRUE(rig.host.messages.empty());  // the caller tells the differences

    chip.program[1] = 0x280A;
    chip.config[memorymap::kConfigWordIndex] = 0x0079;  // bits 13..7 are not compared
    EXPECT_EQ(VerifyProgram(e, plan, rig.view).outcome, JobOutcome::Done);
}
