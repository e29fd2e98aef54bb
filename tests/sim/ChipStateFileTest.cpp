#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "shared/IntelHex.h"
#include "sim/ChipStateFile.h"

TEST(ChipStateFile, AMissingFileIsABlankChip) {
    QTemporaryDir dir;
    QString error;
    const auto chip = chipstate::Load(dir.filePath(QStringLiteral("none.hex")), &error);
    ASSERT_TRUE(chip);
    EXPECT_EQ(*chip, ChipMemory());
}

TEST(ChipStateFile, KeepsEveryMemoryAtItsPicToolAddress) {
    ChipMemory chip;
    chip.program[0] = 0x3001;
    chip.program[1023] = 0x0ABC;
    chip.config[7] = 0x3FF9;
    chip.eeprom[0] = 0x12;
    chip.eeprom[63] = 0x00;
    const QByteArray text = chipstate::Format(chip);
    const QList<QByteArray> lines = hex::SplitLines(text);
    ASSERT_EQ(lines.size(), 128 + 1 + 8 + 1);
    EXPECT_TRUE(lines[0].startsWith(":1000000001"));
    EXPECT_TRUE(lines[128].startsWith(":10400000"));
    EXPECT_TRUE(lines[128].mid(9 + 28, 4) == "F93F");    // word 0x2007, low byte first
    EXPECT_TRUE(lines[129].startsWith(":10420000120"));  // EEPROM byte 0 at word 0x2100
    EXPECT_EQ(lines.back(), hex::EndRecord());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chip.hex"));
    QString error;
    ASSERT_TRUE(chipstate::Save(path, chip, &error)) << error.toStdString();
    const auto loaded = chipstate::Load(path, &error);
    ASSERT_TRUE(loaded) << error.toStdString();
    EXPECT_EQ(*loaded, chip);
}

TEST(ChipStateFile, ADamagedImageIsRefusedWithItsLineAndAFailedSaveKeepsTheOldOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chip.hex"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":00000001FF\r\n");
    file.close();
    QString error;
    ASSERT_TRUE(chipstate::Load(path, &error));

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":020000000130CD\r\n:0200020001300\r\n");
    file.close();
    EXPECT_FALSE(chipstate::Load(path, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("line 2"))) << error.toStdString();

    // Saving into a folder that does not exist fails and says where.
    EXPECT_FALSE(
        chipstate::Save(dir.filePath(QStringLiteral("no/such/chip.hex")), ChipMemory(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("chip.hex")));
}
