#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "program/ProgramJobs.h"

using texts::Text;

namespace {

const QByteArray kEnd = hex::EndRecord();

// The wire of one word: 'D', its acknowledgement, the pair, its acknowledgement.
QStringList Word(const char* pair) {
    return {"w 44", "r 77", QStringLiteral("w ") + pair, "r 77"};
}
QStringList Skip(const char* count) {
    return {"w 49", "r 69", QStringLiteral("w ") + count, "r 77"};
}
const QStringList kEnter = {"w 57", "r 77"};
QStringList Config(const char* pair) {
    return {"w 47", "r 67", QStringLiteral("w ") + pair, "r 77", "w 45"};
}

struct WriteRig : JobRig {
    using JobRig::JobRig;
    JobOutcome Write(const QByteArray& hexText) {
        auto e = env();
        return WritePrgComm(e, WriteFile(QStringLiteral("p.hex"), hexText), view);
    }
    void ExpectOneMessage(const QString& text, const char* caption, MsgIcon icon) {
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, text);
        EXPECT_EQ(host.messages[0].caption, Text(caption));
        EXPECT_EQ(host.messages[0].icon, icon);
        EXPECT_EQ(device->closeCount(), 1);
        EXPECT_FALSE(device->isOpen());
    }
};

}  // namespace

TEST(WritePrgComm, WritesTwoWordsAndTheConfigurationWord) {
    WriteRig rig;
    rig.state.ConfigWord = 26;
    EXPECT_EQ(rig.Write(HexText({DataRecord(0, {0x01, 0x30, 0x0A, 0x28}), kEnd})),
              JobOutcome::Done);
    EXPECT_EQ(rig.JobWire(), kEnter + Word("E0 81") + Word("D0 8A") + Config("80 9A"));
    rig.ExpectOneMessage(Text(texts::kWriteDone), texts::kAppTitle, MsgIcon::Information);
    EXPECT_EQ(rig.device->firmware().chip().program[0], 0x3001);
    EXPECT_EQ(rig.device->firmware().chip().program[1], 0x280A);
    // Progress: the address before each word, and two words done of two.
    EXPECT_EQ(rig.view.texts,
              (QStringList{Text("アドレス    0 書込み中"), Text("アドレス    0 書込み中"),
                           Text("アドレス    1 書込み中")}));
    EXPECT_EQ(rig.view.lastDone, 2);
    EXPECT_EQ(rig.view.lastTotal, 2);
    // The pace is set by the replies: no pause beyond the link's own.
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50}));
}

TEST(WritePrgComm, SkipsGapsInStepsOfAtMost127Words) {
    WriteRig rig;
    rig.state.ConfigWord = 0x3FF9;  // only the low seven bits go out
    // One word at 0x1F (progress text "  1F"), then one at 0x1F + 1 + 200.
    EXPECT_EQ(rig.Write(HexText(
                  {DataRecord(2 * 0x1F, {0xFF, 0x3F}), DataRecord(2 * 0xE8, {0x34, 0x12}), kEnd})),
              JobOutcome::Done);
    EXPECT_EQ(rig.JobWire(), kEnter + Skip("9F") + Word("FF FF") + Skip("C8") + Skip("FF") +
                                 Skip("81") + Word("A4 B4") + Config("80 F9"));
    EXPECT_TRUE(rig.view.texts.contains(Text("アドレス   1F 書込み中")));
    EXPECT_EQ(rig.device->firmware().chip().program[0xE8], 0x1234);
}

TEST(WritePrgComm, WritesUpToWord1024AndStopsAtTheFirstRecordAboveIt) {
    WriteRig rig;
    const QByteArray file = HexText({DataRecord(0x0800, {0x01, 0x00}),  // word 1024: still written
                                     DataRecord(0x0802, {0x02, 0x00}),  // word 1025: ends the data
                                     DataRecord(0x0900, {0x03, 0x00}), kEnd});
    EXPECT_EQ(rig.Write(file), JobOutcome::Done);
    // Each step skips (target - address) & 0x7F words, 127 where that is 0.
    QStringList skips;
    for (int i = 0; i < 8; ++i) skips += Skip("FF") + Skip("81");
    EXPECT_EQ(rig.JobWire(), kEnter + skips + Word("80 81") + Config("80 9A"));
}

TEST(WritePrgComm, PlacesRecordsAtTheirExtendedAddressAndNeedsNoEndRecord) {
    WriteRig rig;
    // Word 1 at 0x10002 lies beyond the chip: not written over word 1.
    const QByteArray file = HexText({DataRecord(0, {0x01, 0x30}),
                                     hex::FormatRecord(0, 0x04, std::vector<uint8_t>{0x00, 0x01}),
                                     DataRecord(2, {0x0A, 0x28}),
                                     hex::FormatRecord(0, 0x02, std::vector<uint8_t>{0x00, 0x00})});
    EXPECT_EQ(rig.Write(file), JobOutcome::Done);
    EXPECT_EQ(rig.JobWire(), kEnter + Word("E0 81") + Config("80 9A"));
    EXPECT_EQ(rig.device->firmware().chip().program[1], memorymap::kBlankWord);
}

TEST(WritePrgComm, AnOddByteCountLeavesItsLastByteUnused) {
    WriteRig rig;
    std::vector<uint8_t> fifteen(15, 0x00);
    EXPECT_EQ(rig.Write(HexText({DataRecord(0, fifteen), DataRecord(0x20, {0x5A}), kEnd})),
              JobOutcome::Done);
    int words = 0;
    for (const QString& w : rig.JobWire()) words += w == u"w 44";
    EXPECT_EQ(words, 7);
    EXPECT_EQ(rig.view.lastTotal, 7);
}

TEST(WritePrgComm, AFileTheWriteWouldRefuseIsRefusedBeforeTheWriterIsOpened) {
    const QByteArray first = DataRecord(0, {0x01, 0x30});
    QByteArray corrupt = DataRecord(2, {0x0A, 0x28});
    corrupt[corrupt.size() - 1] = corrupt.back() == '0' ? '1' : '0';
    const QString hexError = TwoLines(texts::kHexError, texts::kHexErrorLine2);
    const QString processing = TwoLines(texts::kFileProcessingError, texts::kTryAgain);
    const QString cannotOpen = TwoLines(texts::kFileOpenFailed, texts::kTryAgain);
    struct Case {
        const char* what;
        QByteArray file;  // written to p.hex, unless `path` names another
        JobOutcome outcome;
        QString message;
        const char* caption;
        const char* path = nullptr;
    } const cases[] = {
        {"a repeated record", HexText({first, first, kEnd}), JobOutcome::HexError, hexError,
         texts::kCaptionFileError},
        {"a record below the address reached", HexText({DataRecord(8, {0, 0}), first, kEnd}),
         JobOutcome::HexError, hexError, texts::kCaptionFileError},
        {"overlapping records", HexText({DataRecord(0, {1, 0, 2, 0}), DataRecord(2, {3, 0}), kEnd}),
         JobOutcome::HexError, hexError, texts::kCaptionFileError},
        {"an empty line", HexText({first, "", kEnd}), JobOutcome::HexError, hexError,
         texts::kCaptionFileError},
        {"a line without ':'", HexText({first, "0200020A2800", kEnd}), JobOutcome::HexError,
         hexError, texts::kCaptionFileError},
        {"a checksum that does not match", HexText({first, corrupt, kEnd}), JobOutcome::HexError,
         hexError, texts::kCaptionFileError},
        {"a line shorter than its count",
         HexText({first, DataRecord(2, {0x0A, 0x28}).left(11), kEnd}), JobOutcome::HexError,
         hexError, texts::kCaptionFileError},
        {"a damaged line after the last data record",
         HexText({first, DataRecord(0x400E, {0x1A, 0x00}).chopped(1), kEnd}), JobOutcome::HexError,
         hexError, texts::kCaptionFileError},
        {"no record at all", QByteArray(), JobOutcome::HexError, hexError,
         texts::kCaptionFileError},
        {"a high byte of 0x80 or more", HexText({DataRecord(0, {0x01, 0x30, 0x00, 0x80}), kEnd}),
         JobOutcome::HexError, processing, texts::kCaptionError},
        {"a file that is not there", QByteArray(), JobOutcome::FileError, cannotOpen,
         texts::kCaptionFileError, "gone.hex"},
        {"a folder", QByteArray(), JobOutcome::FileError, cannotOpen, texts::kCaptionFileError,
         "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteRig rig;
        const QString path = c.path ? rig.dir.filePath(QString::fromLatin1(c.path))
                                    : rig.WriteFile(QStringLiteral("p.hex"), c.file);
        auto e = rig.env();
        EXPECT_EQ(WritePrgComm(e, path, rig.view), c.outcome);
        // Not a byte went out: the Writer was never opened.
        EXPECT_EQ(rig.device->openCount(), 0);
        EXPECT_TRUE(rig.trace.isEmpty());
        EXPECT_EQ(rig.device->firmware().chip(), ChipMemory());
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].text, c.message);
        EXPECT_EQ(rig.host.messages[0].caption, Text(c.caption));
        EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Critical);
    }
}

TEST(WritePrgComm, AByteOrderMarkAndRecordsAfterTheDataPhaseLeaveTheWireAsItIs) {
    const QByteArray plain = HexText({DataRecord(0, {0x01, 0x30, 0x0A, 0x28}), kEnd});
    WriteRig reference;
    ASSERT_EQ(reference.Write(plain), JobOutcome::Done);
    for (const QByteArray& file :
         {QByteArray("\xEF\xBB\xBF") + plain,
          HexText({DataRecord(0, {0x01, 0x30, 0x0A, 0x28}), DataRecord(0x4000, {0xFF, 0x3F}),
                   DataRecord(0x10, {0x55, 0x00}), kEnd})}) {
        WriteRig rig;
        EXPECT_EQ(rig.Write(file), JobOutcome::Done);
        EXPECT_EQ(rig.JobWire(), reference.JobWire());
    }
}

TEST(WritePrgComm, WriteModeRefusals) {
    const QByteArray file = HexText({DataRecord(0, {0x01, 0x30}), kEnd});
    {
        SCOPED_TRACE("no target board");
        FaultPlan noBoard;
        noBoard.boardMissing[2] = true;
        WriteRig rig(noBoard);
        EXPECT_EQ(rig.Write(file), JobOutcome::NoBoard);
        EXPECT_EQ(rig.JobWire(), (QStringList{"w 57", "r 3F", "w 53"}));
        rig.ExpectOneMessage(TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2),
                             texts::kCaptionError, MsgIcon::Critical);
    }
    {
        SCOPED_TRACE("three answers that are not 'w'");
        WriteRig rig(Refuse({2, 6, 10}));  // 'B' is command 1; each attempt sends W S C E
        EXPECT_EQ(rig.Write(file), JobOutcome::LinkFailure);
        const QStringList attempt = {"w 57", "r 78", "w 53", "w 43", "w 45"};
        EXPECT_EQ(rig.JobWire(), attempt + attempt + attempt);
        EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50, 200, 200, 200}));
        rig.ExpectOneMessage(TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2),
                             texts::kCaptionError, MsgIcon::Critical);
    }
}

TEST(WritePrgComm, ARefusedOrMissingAcknowledgementIsAWriteError) {
    const QByteArray file = HexText({DataRecord(0, {0x01, 0x30, 0x0A, 0x28}), kEnd});
    // Nothing goes out after the unacknowledged step but the closing 'E'.
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wire;
    };
    FaultPlan refusedWord = Refuse({4});  // B W D D: the second word's 'D'
    FaultPlan lateReply;
    lateReply.cutAfter = 3;  // a w w: the first word's pair is never acknowledged
    FaultPlan refusedConfig = Refuse({5});
    const Case cases[] = {
        {"refused word", refusedWord, kEnter + Word("E0 81") + QStringList{"w 44", "r 78", "w 45"}},
        {"reply never came", lateReply,
         kEnter + QStringList{"w 44", "r 77", "w E0 81", "r timeout", "w 45"}},
        {"refused configuration", refusedConfig,
         kEnter + Word("E0 81") + Word("D0 8A") + QStringList{"w 47", "r 78", "w 45"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteRig rig(c.faults);
        EXPECT_EQ(rig.Write(file), JobOutcome::WriteError);
        EXPECT_EQ(rig.JobWire(), c.wire);
        rig.ExpectOneMessage(TwoLines(texts::kWriteFailed, texts::kTryAgain), texts::kCaptionError,
                             MsgIcon::Critical);
    }
}

TEST(WritePrgComm, LinkFailuresEndQuietlyAfterTheLinkMessage) {
    const QByteArray file = HexText({DataRecord(0, {0x01, 0x30}), kEnd});
    FaultPlan unplugged;
    unplugged.openFails = true;
    WriteRig noWriter(unplugged);
    EXPECT_EQ(noWriter.Write(file), JobOutcome::NotOpened);
    EXPECT_EQ(noWriter.host.messages.size(), 1u);
    EXPECT_EQ(noWriter.device->closeCount(), 0);

    FaultPlan silent;
    silent.silent = true;
    WriteRig mute(silent);
    EXPECT_EQ(mute.Write(file), JobOutcome::LinkFailure);
    mute.ExpectOneMessage(TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2),
                          texts::kCaptionError, MsgIcon::Critical);
    EXPECT_FALSE(mute.Wire().contains("w 57"));
}
