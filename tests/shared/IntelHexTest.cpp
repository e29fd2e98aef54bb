#include <gtest/gtest.h>

#include "shared/IntelHex.h"

using hex::RecordError;

TEST(IntelHexRecord, ReadsTheFieldsOfAValidRecordInEitherCase) {
    for (const char* line : {":0400100001300A2889", ":0400100001300a2889"}) {
        const hex::ParsedLine parsed = hex::ParseRecord(QByteArray(line));
        ASSERT_TRUE(parsed.ok()) << line;
        EXPECT_EQ(parsed.record.byteCount, 4);
        EXPECT_EQ(parsed.record.address, 0x0010);
        EXPECT_TRUE(parsed.record.isData());
        EXPECT_EQ(parsed.record.data, QByteArray::fromHex("01300A28"));
    }
    const hex::ParsedLine end = hex::ParseRecord(":00000001FF");
    ASSERT_TRUE(end.ok());
    EXPECT_TRUE(end.record.isEnd());
    // Addresses from 0x8000 read as negative 16-bit values.
    const hex::ParsedLine high = hex::ParseRecord(":00FFFE0003");
    ASSERT_TRUE(high.ok());
    EXPECT_EQ(high.record.signedAddress(), -2);
}

TEST(IntelHexRecord, RejectsDamagedLines) {
    struct Case {
        const char* line;
        RecordError error;
    } const cases[] = {
        {"", RecordError::NoStartMark},
        {" :00000001FF", RecordError::NoStartMark},
        {"0400100001300A2881", RecordError::NoStartMark},
        {":0400100001300A288A", RecordError::BadChecksum},  // one digit changed
        {":0400100001300B2889", RecordError::BadChecksum},
        {":0400100001300A28", RecordError::TooShort},    // checksum missing
        {":0800100001300A2889", RecordError::TooShort},  // count says 8 bytes
        {":04001", RecordError::TooShort},
        {":0400100001G00A2889", RecordError::BadDigit},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex::ParseRecord(QByteArray(c.line)).error, c.error) << c.line;
    }
}

TEST(IntelHexRecord, FormatsWithHandComputedChecksums) {
    const uint8_t words[] = {0x01, 0x30, 0x0A, 0x28};
    EXPECT_EQ(hex::FormatRecord(0x0010, 0, words), QByteArray(":0400100001300A2889"));
    // Sixteen bytes of a blank chip (3FFF, low byte first) add up to 8 * 0x13E;
    // with the count 0x10 the sum at 0x0000 is 0xA00, so its checksum is 00.
    uint8_t blank[16];
    for (int i = 0; i < 16; i += 2) {
        blank[i] = 0xFF;
        blank[i + 1] = 0x3F;
    }
    EXPECT_EQ(hex::FormatRecord(0x0000, 0, blank),
              QByteArray(":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00"));
    EXPECT_EQ(hex::FormatRecord(0x0010, 0, blank),
              QByteArray(":10001000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3FF0"));
    EXPECT_EQ(hex::FormatRecord(0x07F0, 0, blank),
              QByteArray(":1007F000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F09"));
    EXPECT_EQ(hex::FormatRecord(0, 1, {}), hex::EndRecord());
    // What is formatted parses back to the same record.
    const hex::ParsedLine back = hex::ParseRecord(hex::FormatRecord(0x400E, 0, words));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.record.address, 0x400E);
}

TEST(IntelHexLines, SplitAtCrLfCrAndLf) {
    EXPECT_EQ(hex::SplitLines("a\r\nb\rc\nd"), (QList<QByteArray>{"a", "b", "c", "d"}));
    EXPECT_EQ(hex::SplitLines("a\r\n"), (QList<QByteArray>{"a"}));
    EXPECT_EQ(hex::SplitLines("a\r\n\r\nb"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_TRUE(hex::SplitLines("").isEmpty());
}

TEST(IntelHexLines, WordAddressRoundsHalvesToEven) {
    struct Case {
        int16_t byteAddress;
        int word;
    } const cases[] = {{0, 0},          {1, 0},  {2, 1},          {3, 2},
                       {5, 2},          {7, 4},  {0x0800, 0x400}, {0x0801, 0x400},
                       {0x0803, 0x402}, {-1, 0}, {-3, -2},        {-4, -2}};
    for (const Case& c : cases) {
        EXPECT_EQ(hex::WordAddressRounded(c.byteAddress), c.word) << c.byteAddress;
    }
}
