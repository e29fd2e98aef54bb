#include <gtest/gtest.h>

#include "JobTestSupport.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "shared/AppState.h"

using texts::Text;

namespace {

struct ConfigRig {
    ConfigLoad Load(const QByteArray& text) {
        const QString path = dir.filePath(QStringLiteral("c.hex"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.close();
        return LoadHexConfigWord(host, state, hexprogram::ReadFile(path));
    }
    QTemporaryDir dir;
    VirtualClock clock;
    TestHost host{clock};
    AppState state;
};

std::vector<uint8_t> ConfigBlock(uint8_t lo, uint8_t hi) {
    std::vector<uint8_t> block(16, 0xFF);
    block[14] = lo;
    block[15] = hi;
    return block;
}

}  // namespace

TEST(LoadHexConfigWord, FindsWord0x2007WhereverARecordCoversIt) {
    const QByteArray program = DataRecord(0, {0x01, 0x30});
    struct Case {
        const char* what;
        QByteArray file;
        int16_t word;
    } const cases[] = {
        {"the whole block in one record",
         HexText({program, DataRecord(0x4000, ConfigBlock(0xF9, 0x3F)), hex::EndRecord()}), 0x3FF9},
        {"the word in a record of its own",
         HexText({program, DataRecord(0x400E, {0xF9, 0x3F}), hex::EndRecord()}), 0x3FF9},
        {"lower-case digits", HexText({DataRecord(0x400E, {0xF1, 0x3F}).toLower()}), 0x3FF1},
        {"after an extended address record",
         HexText({hex::FormatRecord(0, 0x04, std::vector<uint8_t>{0, 0}),
                  DataRecord(0x400C, {0xFF, 0x3F, 0x1A, 0x00})}),
         0x001A},
        {"a record of three bytes from 0x400D", HexText({DataRecord(0x400D, {0x00, 0x22, 0x11})}),
         0x1122},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigRig rig;
        EXPECT_EQ(rig.Load(c.file), ConfigLoad::Found);
        EXPECT_EQ(rig.state.ConfigWord, c.word);
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(LoadHexConfigWord, LeavesTheWordAloneWhenTheFileHasNone) {
    std::vector<uint8_t> fourteen(14, 0x00);
    struct Case {
        const char* what;
        QByteArray file;
    } const cases[] = {
        {"no record at 0x4000 or above", HexText({DataRecord(0, {0x01, 0x30}), hex::EndRecord()})},
        {"a block that ends at word 0x2006", HexText({DataRecord(0x4000, fourteen)})},
        {"an end record before the word",
         HexText({hex::EndRecord(), DataRecord(0x400E, {0xF9, 0x3F})})},
        {"an empty file", QByteArray()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigRig rig;
        rig.state.ConfigWord = 7;
        EXPECT_EQ(rig.Load(c.file), ConfigLoad::NotFound);
        EXPECT_EQ(rig.state.ConfigWord, 7);
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(LoadHexConfigWord, ReportsADamagedFileAndKeepsTheWord) {
    QByteArray corrupt = DataRecord(0x400E, {0xF9, 0x3F});
    corrupt[3] = '5';  // address 0x500E: the checksum no longer matches
    struct Case {
        const char* what;
        QByteArray file;
        QString message;
    } const cases[] = {
        {"an empty first line", HexText({"", DataRecord(0x400E, {0xF9, 0x3F})}),
         Text(texts::kHexError)},
        {"a line without ':'", "0200000001300\r\n", Text(texts::kHexError)},
        {"a checksum that does not match", HexText({corrupt}),
         TwoLines(texts::kHexError, texts::kHexErrorLine2)},
        {"a short record", HexText({DataRecord(0x400E, {0xF9, 0x3F}).left(13)}),
         TwoLines(texts::kHexError, texts::kHexErrorLine2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConfigRig rig;
        EXPECT_EQ(rig.Load(c.file), ConfigLoad::HexError);
        EXPECT_EQ(rig.state.ConfigWord, 26);
        ASSERT_EQ(rig.host.messages.size(), 1u);
        EXPECT_EQ(rig.host.messages[0].text, c.message);
        EXPECT_EQ(rig.host.messages[0].caption, Text(texts::kCaptionError));
        EXPECT_EQ(rig.host.messages[0].icon, MsgIcon::Critical);
    }
    ConfigRig missing;
    EXPECT_EQ(LoadHexConfigWord(missing.host, missing.state,
                                hexprogram::ReadFile(missing.dir.filePath("none.hex"))),
              ConfigLoad::HexError);
    ASSERT_EQ(missing.host.messages.size(), 1u);
    EXPECT_EQ(missing.host.messages[0].text, Text(texts::kHexError));
}

TEST(PlanWrite, CountsTheWordsTheWriteWillSend) {
    const hexprogram::WritePlan plan = hexprogram::PlanWrite(HexText(
        {DataRecord(0, {1, 0, 2, 0}), DataRecord(0x10, {3, 0, 4}), DataRecord(0x4000, {5, 0})}));
    EXPECT_EQ(plan.error, hexprogram::WalkError::None);
    ASSERT_EQ(plan.blocks.size(), 2u);
    EXPECT_EQ(plan.blocks[1].wordAddress, 8);
    EXPECT_EQ(plan.totalWords(), 3);
    EXPECT_EQ(hexprogram::Word(plan.blocks[0], 1), 2);
}

namespace {

QByteArray Extended(uint8_t type, uint16_t value) {
    return hex::FormatRecord(
        0, type,
        std::vector<uint8_t>{static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
}

}  // namespace

// Each record at its full address: where its words go in the plan, and what
// of the file lies beyond program memory.
TEST(PlanWrite, PlacesEveryRecordAtItsFullAddress) {
    const QByteArray linear1 = Extended(hex::Record::kExtendedLinear, 1);
    const QByteArray linear0 = Extended(hex::Record::kExtendedLinear, 0);
    const QByteArray segment = Extended(hex::Record::kExtendedSegment, 0x0400);  // base 0x4000
    struct Case {
        const char* what;
        QByteArray file;
        std::vector<int> blockStarts;
        std::optional<uint16_t> configWord;
        int eepromBytes;
        std::optional<int64_t> firstOutside;
        int outsideBytes;
    } const cases[] = {
        {"data above 0x10000 does not land on word 0",
         HexText({DataRecord(2, {1, 0}), linear1, DataRecord(0, {5, 0})}),
         {1},
         {},
         0,
         0x10000,
         2},
        {"a linear base of 0 again",
         HexText({linear1, linear0, DataRecord(4, {1, 0})}),
         {2},
         {},
         0,
         {},
         0},
        {"a segment base reaches the configuration word",
         HexText({DataRecord(0, {1, 0}), segment, DataRecord(0x000E, {0x1A, 0x00})}),
         {0},
         0x001A,
         0,
         {},
         0},
        {"the EEPROM as an assembler writes it",
         HexText({DataRecord(0x4200, {0x11, 0, 0x22, 0}), DataRecord(0x427E, {0x33, 0})}),
         {},
         {},
         3,
         {},
         0},
        {"an EEPROM word with a high byte",
         HexText({DataRecord(0x4202, {0x11, 0x01})}),
         {},
         {},
         1,
         0x4203,
         1},
        {"identification words and word 1024",
         HexText({DataRecord(0x0800, {1, 0}), DataRecord(0x4000, {1, 0})}),
         {1024},
         {},
         0,
         0x0800,
         4},
        {"a 16-bit address that used to count as negative",
         HexText({DataRecord(0xFFFE, {1, 0})}),
         {},
         {},
         0,
         0xFFFE,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const hexprogram::WritePlan plan = hexprogram::PlanWrite(c.file);
        ASSERT_EQ(plan.error, hexprogram::WalkError::None);
        std::vector<int> starts;
        for (const hexprogram::Block& block : plan.blocks) starts.push_back(block.wordAddress);
        EXPECT_EQ(starts, c.blockStarts);
        EXPECT_EQ(plan.configWord, c.configWord);
        EXPECT_EQ(plan.eeprom.count(), c.eepromBytes);
        EXPECT_EQ(plan.outside ? std::optional<int64_t>(plan.outside->byteAddress) : std::nullopt,
                  c.firstOutside);
        EXPECT_EQ(plan.outsideBytes, c.outsideBytes);
    }
    const hexprogram::WritePlan eeprom = hexprogram::PlanWrite(
        HexText({DataRecord(0x4200, {0x11, 0, 0x22, 0}), DataRecord(0x427E, {0x33, 0})}));
    EXPECT_EQ(eeprom.eeprom.bytes[1], 0x22);
    EXPECT_EQ(eeprom.eeprom.bytes[63], 0x33);
    EXPECT_FALSE(eeprom.eeprom.given.test(2));
}
