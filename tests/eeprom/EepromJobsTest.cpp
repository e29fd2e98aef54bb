// The data EEPROM jobs on the simulated Writer: the bytes on the wire, the
// table's cells and status line, the pauses and the messages.
#include <gtest/gtest.h>

#include <QDir>
#include <map>

#include "JobTestSupport.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/EepromJobs.h"

using texts::Text;

namespace {

// The viewer as the jobs see it: its cells start as "*".
class FakeEepromView final : public EepromView {
  public:
    FakeEepromView() {
        for (int a = 0; a < memorymap::kEepromBytes; ++a) cells[a] = QStringLiteral("*");
    }
    void SetBusy(bool b) override {
        busy = b;
        busyCalls << b;
    }
    void SetStatusText(const QString& text) override { status = text; }
    void SetCell(int address, const QString& text) override { cells[address] = text; }
    bool busy = false;
    QList<bool> busyCalls;
    QString status = QStringLiteral("<untouched>");
    std::map<int, QString> cells;
};

struct EepromRig : JobRig {
    using JobRig::JobRig;
    EepromRead Read() {
        auto e = env();
        return ReadEeprom(e, table);
    }
    QStringList Messages() const {
        QStringList list;
        for (const auto& m : host.messages) list << m.text;
        return list;
    }
    FakeEepromView table;
};

const QString kBoardMessage = TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2);
const QString kLinkMessage = TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2);

FaultPlan Fault(const char* text) {
    QString error;
    return *FaultPlan::Parse(QString::fromLatin1(text), &error);
}

// 32 records of the data file with the byte at address a equal to a * 3.
QByteArray DataFile() {
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};
    for (int a = 0; a < memorymap::kEepromBytes; ++a) bytes[a] = static_cast<uint8_t>(a * 3);
    return eepromfile::Format(bytes);
}

}  // namespace

TEST(ReadEeprom, FillsEveryCellAndDecodesThePairs) {
    EepromRig rig;
    auto& eeprom = rig.device->firmware().chip().eeprom;
    for (int a = 0; a < memorymap::kEepromBytes; ++a) eeprom[a] = static_cast<uint8_t>(a);
    eeprom[0] = 0x0A;
    eeprom[1] = 0xFF;
    eeprom[2] = 0x80;
    eeprom[3] = 0x0F;
    const EepromRead read = rig.Read();
    EXPECT_EQ(read.outcome, JobOutcome::Done);
    EXPECT_EQ(read.count, 64);
    const QStringList wire = rig.JobWire();
    ASSERT_EQ(wire.size(), 2 + 64);
    EXPECT_EQ(wire.mid(0, 6),
              (QStringList{"w 58", "r 78", "r 80 8A", "r 81 FF", "r 81 80", "r 80 8F"}));
    EXPECT_EQ(rig.table.cells[0], "0A");
    EXPECT_EQ(rig.table.cells[1], "FF");
    EXPECT_EQ(rig.table.cells[2], "80");
    EXPECT_EQ(rig.table.cells[3], "0F");
    EXPECT_EQ(rig.table.cells[63], "3F");
    EXPECT_EQ(rig.table.status, "");
    EXPECT_EQ(rig.table.busyCalls, (QList<bool>{true, false}));
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.device->closeCount(), 1);
    // No pause of its own beyond the link's.
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50}));
}

TEST(ReadEeprom, FailuresAndEarlyEnds) {
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wireStart;  // the wire after the handshake, its beginning
        int cellsRead;
        QString status;
        QStringList messages;
        JobOutcome outcome;
    } const cases[] = {
        {"a driver error on the reply to 'X'",
         Fault("readerror=2"),
         {"w 58", "r error"},
         0,
         Text(texts::kTalkingToBoard),
         {kLinkMessage},
         JobOutcome::LinkFailure},
        {"no target board",
         Fault("noboard=2"),
         {"w 58", "r 3F", "w 53"},
         0,
         Text(texts::kTalkingToBoard),
         {kBoardMessage},
         JobOutcome::NoBoard},
        {"three replies 'z'",
         Fault("reply=2:'z',reply=4:'z',reply=6:'z'"),
         {"w 58", "r 7A", "w 43", "w 58", "r 7A", "w 43", "w 58", "r 7A", "w 43"},
         0,
         Text(texts::kTalkingToBoard),
         {kLinkMessage},
         JobOutcome::LinkFailure},
        {"a byte that is not data in the tenth pair",
         Fault("byte=21:7F"),
         {"w 58", "r 78"},
         9,
         "",
         {},
         JobOutcome::Done},
        {"a driver error on a data pair",
         Fault("readerror=4"),
         {"w 58", "r 78", "r 81 FF"},
         1,
         Text(texts::kWriterNoResponse),
         {kBoardMessage},
         JobOutcome::NoBoard},
        // The mend: a pair that never comes ends the read; the previous
        // cell's value is not shown again.
        {"a pair that never arrives",
         Fault("cut=12"),
         {"w 58", "r 78"},
         5,
         Text(texts::kWriterNoResponse),
         {kBoardMessage},
         JobOutcome::NoBoard},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig(c.faults);
        const EepromRead read = rig.Read();
        EXPECT_EQ(read.outcome, c.outcome);
        EXPECT_EQ(read.count, c.cellsRead);
        EXPECT_EQ(rig.JobWire().mid(0, c.wireStart.size()), c.wireStart);
        int filled = 0;
        for (const auto& [address, text] : rig.table.cells) filled += text != u"*";
        EXPECT_EQ(filled, c.cellsRead);
        EXPECT_EQ(rig.table.status, c.status);
        EXPECT_EQ(rig.Messages(), c.messages);
        EXPECT_FALSE(rig.table.busy);
        EXPECT_EQ(rig.device->closeCount(), 1);
    }
}

TEST(EraseEeprom, AsksFirstThenErasesWaitsAndReadsAgain) {
    EepromRig declined;
    declined.host.answers.push_back(MsgAnswer::No);
    auto e = declined.env();
    EXPECT_EQ(EraseEeprom(e, declined.table), JobOutcome::Cancelled);
    EXPECT_TRUE(declined.trace.isEmpty());
    EXPECT_EQ(declined.table.busyCalls, (QList<bool>{true, false}));
    ASSERT_EQ(declined.host.messages.size(), 1u);
    EXPECT_EQ(declined.host.messages[0].text, Text(texts::kAskEraseEeprom));
    EXPECT_EQ(declined.host.messages[0].icon, MsgIcon::Question);

    EepromRig rig;
    rig.device->firmware().chip().eeprom.fill(0x12);
    auto env = rig.env();
    EXPECT_EQ(EraseEeprom(env, rig.table), JobOutcome::Done);
    EXPECT_EQ(rig.device->openCount(), 2);
    EXPECT_EQ(rig.device->closeCount(), 2);
    EXPECT_EQ(rig.JobWire().mid(0, 2), (QStringList{"w 46", "r 61"}));
    // Handshake, 200 ms after the erase, then the read's own opening.
    EXPECT_EQ(rig.host.sleeps, (std::vector<int>{50, 20, 50, 200, 50, 20, 50}));
    EXPECT_EQ(rig.table.cells[0], "FF");
    EXPECT_EQ(rig.host.messages.size(), 1u);  // the question only
}

TEST(EraseEeprom, FailuresAreReportedByCode) {
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wire;
        QString message;
    } const cases[] = {
        {"no target board", Fault("noboard=2"), {"w 46", "r 3F", "w 53"}, kBoardMessage},
        {"another reply", Fault("reply=2:'x'"), {"w 46", "r 78", "w 43", "w 53"}, kLinkMessage},
        {"a driver error", Fault("readerror=2"), {"w 46", "r error"}, kLinkMessage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig(c.faults);
        auto env = rig.env();
        EXPECT_NE(EraseEeprom(env, rig.table), JobOutcome::Done);
        EXPECT_EQ(rig.JobWire(), c.wire);
        EXPECT_EQ(rig.Messages(), (QStringList{Text(texts::kAskEraseEeprom), c.message}));
        EXPECT_EQ(rig.table.status, Text(texts::kTalkingToBoard));
        EXPECT_EQ(rig.device->openCount(), 1);
        EXPECT_EQ(rig.device->closeCount(), 1);
        EXPECT_FALSE(rig.table.busy);
    }
}

TEST(ByteEditorInput, ChecksInOrderAndReadsHex) {
    const QString length = Text(texts::kEnterOneByte);
    const QString form = Text(texts::kBadByteValue);
    const QString range = Text(texts::kByteOutOfRange);
    struct Case {
        const char* text;
        int value;  // -1: refused
        QStringList failures;
    } const cases[] = {
        {"A5", 0xA5, {}},
        {"7f", 0x7F, {}},
        {"0", 0, {}},
        {"00", 0, {}},
        {" 1F ", 0x1F, {}},
        {"1G", 1, {}},
        {"*", -1, {form}},
        {"G1", -1, {form}},
        {"", -1, {length, form}},
        {"100", -1, {length, range}},
        {"1 F", -1, {length}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ByteInput input = CheckByteInput(QString::fromLatin1(c.text));
        EXPECT_EQ(input.failures, c.failures);
        EXPECT_EQ(input.value ? *input.value : -1, c.value);
    }
    EXPECT_EQ(ReadHexPrefix(QStringLiteral("FFFFFFFFFFFF")), 0xFFFFFFFFu);
}

TEST(WriteEepromByte, A5AtAddress0x12) {
    EepromRig rig;
    auto env = rig.env();
    EXPECT_EQ(WriteEepromByte(env, 0x12, 0xA5), JobOutcome::Done);
    EXPECT_EQ(rig.JobWire(), (QStringList{"w 56", "r 76", "w 92", "r 76", "w 81 A5", "r 61"}));
    EXPECT_EQ(rig.device->firmware().chip().eeprom[0x12], 0xA5);
    EXPECT_TRUE(rig.state.EepromWritten);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.device->closeCount(), 1);
    EXPECT_EQ(EepromAddressText(0x3F), "Add 3F");
    EXPECT_EQ(EepromAddressText(0), "Add 0");
}

TEST(WriteEepromByte, FailuresShowTheEditorsMessages) {
    const QString noPower = TwoLines(texts::kByteNoPowerLine1, texts::kByteNoPowerLine2);
    const QString link = TwoLines(texts::kLinkFailedLine1, texts::kByteLinkFailedLine2);
    struct Case {
        const char* what;
        FaultPlan faults;
        QStringList wire;
        QString message;
        bool written;  // the viewer reads again
    } const cases[] = {
        {"'?' to 'V'", Fault("noboard=2"), {"w 56", "r 3F", "w 53"}, noPower, false},
        {"another reply to 'V'", Fault("reply=2:'x'"), {"w 56", "r 78", "w 43"}, link, false},
        {"a driver error on 'V'", Fault("readerror=2"), {"w 56", "r error"}, link, false},
        {"'x' to the address",
         Fault("byte=3:78"),
         {"w 56", "r 76", "w 92", "r 78", "w 43"},
         link,
         true},
        {"no answer to the address",
         Fault("cut=2"),
         {"w 56", "r 76", "w 92", "r timeout", "w 43"},
         link,
         true},
        {"no 'a' for the byte",
         Fault("byte=4:78"),
         {"w 56", "r 76", "w 92", "r 76", "w 81 A5", "r 78", "w 43"},
         link,
         true},
        {"the close fails after 'v'",
         Fault("closefail,byte=4:78"),
         {"w 56", "r 76", "w 92", "r 76", "w 81 A5", "r 78", "w 43"},
         link,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig(c.faults);
        auto env = rig.env();
        EXPECT_NE(WriteEepromByte(env, 0x12, 0xA5), JobOutcome::Done);
        EXPECT_EQ(rig.JobWire(), c.wire);
        EXPECT_EQ(rig.Messages(), QStringList{c.message});
        EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionError));
        EXPECT_EQ(rig.state.EepromWritten, c.written);
        EXPECT_EQ(rig.device->closeCount(), 1);
    }
}

TEST(WriteEepromFile, WritesAllBytesInOrderWithTheirPauses) {
    EepromRig rig;
    QByteArray file = DataFile();
    // The first record as one line with commas: address 0 gets 17, 1 gets 34.
    file.replace(0, file.indexOf('\n') + 1, "0, 17, 1, 34\r\n");
    file.replace("2,6,3,9", "2,200,3,9");
    const QString path = rig.WriteFile(QStringLiteral("data.txt"), file);
    auto env = rig.env();
    EXPECT_EQ(WriteEepromFile(env, path, rig.view), JobOutcome::Done);
    const QStringList wire = rig.JobWire();
    ASSERT_EQ(wire.size(), 2 + 2 * 64);
    EXPECT_EQ(wire.mid(0, 6), (QStringList{"w 4D", "r 6D", "w 80 91", "r 6D", "w 80 A2", "r 6D"}));
    EXPECT_EQ(wire[6], "w 81 C8");  // 200
    EXPECT_EQ(wire.back(), "r 61");
    EXPECT_EQ(rig.device->firmware().chip().eeprom[63], 63 * 3 % 256);
    std::vector<int> pauses{50, 20, 50, 200};
    pauses.insert(pauses.end(), 64, 50);
    EXPECT_EQ(rig.host.sleeps, pauses);
    EXPECT_EQ(rig.view.texts.back(), EepromWritingText(0x3F));
    EXPECT_EQ(EepromWritingText(0x3F), Text("書込み中 アドレス　3Fh"));
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, Text(texts::kWriteDone));
    EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Information);
}

TEST(WriteEepromFile, ABadDataFileIsRefusedBeforeTheWriterIsOpened) {
    const QString remake = Text(texts::kCrLf) + Text(texts::kDataFileRemake);
    auto atLine = [&](int line) { return Text(texts::kDataFileErrorAtLine).arg(line) + remake; };
    QByteArray tooShort = DataFile();
    tooShort.chop(tooShort.size() - tooShort.lastIndexOf("62,"));
    struct Case {
        const char* what;
        QByteArray file;
        QString message;
    } const cases[] = {
        {"a byte above 255", DataFile().replace("\n4,12,", "\n4,256,"), atLine(3)},
        {"a negative byte", DataFile().replace("\n4,12,", "\n4,-1,"), atLine(3)},
        {"a word", DataFile().replace("\n4,12,", "\n4,twelve,"), atLine(3)},
        {"an empty field", DataFile().replace("\n4,12,", "\n4,,12,"), atLine(3)},
        {"a fraction", DataFile().replace("\n4,12,", "\n4,12.5,"), atLine(3)},
        // Records out of step would put every later byte at another address.
        {"a line repeated", DataFile().replace("\n4,12,5,15\r\n", "\n4,12,5,15\r\n4,12,5,15\r\n"),
         atLine(4)},
        {"a field left out", DataFile().replace("\n4,12,5,15\r\n", "\n4,12,15\r\n"), atLine(3)},
        {"a first address out of place", DataFile().replace("\n4,12,", "\n5,12,"), atLine(3)},
        {"a second address out of place", DataFile().replace(",63,", ",62,"), atLine(32)},
        {"fewer than 32 records", tooShort, Text(texts::kDataFileTooShort) + remake},
        {"no numbers at all", QByteArray("\r\n\r\n"), Text(texts::kDataFileTooShort) + remake},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig;
        const QString path = rig.WriteFile(QStringLiteral("data.txt"), c.file);
        auto env = rig.env();
        EXPECT_EQ(WriteEepromFile(env, path, rig.view), JobOutcome::FileError);
        EXPECT_EQ(rig.device->openCount(), 0);
        EXPECT_EQ(rig.Messages(), QStringList{c.message});
        EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionFileError));
    }
    // Only a file that is not there is "missing"; one that is there but
    // cannot be opened says so, as the HEX file's check does.
    const QString cannotOpen = TwoLines(texts::kFileOpenFailed, texts::kTryAgain);
    const struct {
        const char* name;
        QString message;
        const char* caption;
    } paths[] = {
        {"none.txt", TwoLines(texts::kDataFileMissing, texts::kClickAgain), texts::kAppTitle},
        {"folder", cannotOpen, texts::kCaptionFileError},
#ifdef Q_OS_UNIX
        {"loop", cannotOpen, texts::kCaptionFileError},  // a link to itself
#endif
    };
    EepromRig rig;
    const QDir dir(rig.dir.path());
    dir.mkdir("folder");
    QFile::link(dir.filePath("loop"), dir.filePath("loop"));
    for (const auto& c : paths) {
        SCOPED_TRACE(c.name);
        rig.host.messages.clear();
        auto env = rig.env();
        EXPECT_EQ(WriteEepromFile(env, dir.filePath(c.name), rig.view), JobOutcome::FileError);
        EXPECT_EQ(rig.Messages(), QStringList{c.message});
        EXPECT_EQ(rig.host.messages[0].caption, Text(c.caption));
    }
    EXPECT_EQ(rig.device->openCount(), 0);
}

TEST(WriteEepromFile, RefusalsOfTheWriter) {
    const QString again = Text(texts::kCrLf) + Text(texts::kRunAgain);
    struct Case {
        const char* what;
        FaultPlan faults;
        int pairsSent;
        QStringList wireEnd;
        QString message;
    } const cases[] = {
        {"'?' to 'M'",
         Fault("noboard=2"),
         0,
         {"w 4D", "r 3F", "w 53"},
         Text(texts::kBoardNoPower) + again},
        {"another reply to 'M'",
         Fault("reply=2:'x'"),
         0,
         {"w 4D", "r 78", "w 43"},
         Text(texts::kLinkFailedLine1) + again},
        {"'x' to the tenth pair",
         Fault("byte=12:78"),
         10,
         {"r 78", "w 43"},
         Text(texts::kLinkFailedLine1) + again},
        {"no answer to the third pair",
         Fault("cut=4"),
         3,
         {"r timeout", "w 43"},
         Text(texts::kLinkFailedLine1) + again},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig(c.faults);
        const QString path = rig.WriteFile(QStringLiteral("data.txt"), DataFile());
        auto env = rig.env();
        EXPECT_NE(WriteEepromFile(env, path, rig.view), JobOutcome::Done);
        const QStringList wire = rig.JobWire();
        EXPECT_EQ(wire.mid(wire.size() - c.wireEnd.size()), c.wireEnd);
        int pairs = 0;
        for (const QString& w : wire) pairs += w.startsWith(u"w 8");
        EXPECT_EQ(pairs, c.pairsSent);
        EXPECT_EQ(rig.Messages(), QStringList{c.message});
        EXPECT_EQ(rig.device->closeCount(), 1);
    }
}

TEST(EepromDataFile, ReadsWhatItWritesAndIgnoresTheRest) {
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};
    for (int a = 0; a < memorymap::kEepromBytes; ++a) bytes[a] = static_cast<uint8_t>(255 - a);
    const QByteArray text = eepromfile::Format(bytes);
    EXPECT_TRUE(text.startsWith("0,255,1,254\r\n2,253,3,252\r\n"));
    for (const QByteArray& variant :
         {text, "\xEF\xBB\xBF" + text, text + "64,x,y\r\n", QByteArray(text).replace(',', ' '),
          QByteArray(text).replace("\r\n", ",").chopped(1)}) {
        const eepromfile::Contents read = eepromfile::Parse(variant);
        EXPECT_EQ(read.error, eepromfile::Error::None);
        EXPECT_EQ(read.bytes, bytes);
    }
}

// A HEX image's EEPROM bytes or a serial number: only the bytes given are
// written, the others keep what the chip holds.
TEST(WriteEepromPart, WritesTheGivenBytesAndKeepsTheOthers) {
    EepromPart two;
    two.Set(0x3E, 0x64);
    two.Set(0x3F, 0x00);
    EepromPart all;
    for (int a = 0; a < memorymap::kEepromBytes; ++a) all.Set(a, static_cast<uint8_t>(a));
    struct Case {
        const char* what;
        EepromPart part;
        bool readBack;
        QStringList wireStart;
        qsizetype wireSize;
    } const cases[] = {
        {"two bytes one by one",
         two,
         false,
         {"w 56", "r 76", "w BE", "r 76", "w 80 E4", "r 61"},
         12},
        {"two bytes, read back in the same session", two, true, {"w 56"}, 12 + 2 + 64},
        {"all 64 as a block", all, false, {"w 4D", "r 6D", "w 80 80"}, 2 + 2 * 64},
        {"nothing", EepromPart{}, false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EepromRig rig;
        rig.device->firmware().chip().eeprom[0] = 0x5A;
        auto env = rig.env();
        EepromRead back;
        EXPECT_EQ(WriteEepromPart(env, c.part, rig.view, c.readBack ? &back : nullptr),
                  JobOutcome::Done);
        const QStringList wire = rig.JobWire();
        EXPECT_EQ(wire.mid(0, c.wireStart.size()), c.wireStart);
        EXPECT_EQ(wire.size(), c.wireSize);
        const auto& chip = rig.device->firmware().chip().eeprom;
        for (int a = 0; a < memorymap::kEepromBytes; ++a) {
            const uint8_t before = a == 0 ? 0x5A : memorymap::kBlankByte;
            EXPECT_EQ(chip[a], c.part.given.test(a) ? c.part.bytes[a] : before) << a;
        }
        EXPECT_TRUE(rig.host.messages.empty());
        if (c.readBack) {
            EXPECT_EQ(back.count, memorymap::kEepromBytes);
            EXPECT_EQ(CompareEeprom(back, c.part).outcome, JobOutcome::Done);
        }
    }
}

TEST(VerifyEepromPart, ComparesOnlyTheGivenBytes) {
    EepromRig rig;
    rig.device->firmware().chip().eeprom[5] = 0x12;
    EepromPart part;
    part.Set(5, 0x13);
    part.Set(6, memorymap::kBlankByte);
    auto env = rig.env();
    const EepromVerifyResult result = VerifyEepromPart(env, part, rig.table);
    EXPECT_EQ(result.outcome, JobOutcome::Mismatch);
    ASSERT_EQ(result.bytes.size(), 1u);
    EXPECT_EQ(result.bytes[0].address, 5);
    EXPECT_EQ(result.bytes[0].chip, 0x12);
    EXPECT_EQ(result.bytes[0].file, 0x13);
}
