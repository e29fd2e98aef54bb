#include <gtest/gtest.h>

#include "link/protocol/SevenBit.h"
#include "link/sim/FirmwareModel.h"

namespace {

// Feeds the bytes to the model and returns everything it answered.
QByteArray Feed(FirmwareModel& model, const QByteArray& bytes) {
    QByteArray out;
    for (const char c : bytes) out += model.Receive(static_cast<uint8_t>(c));
    return out;
}

QByteArray Pair(uint16_t value) {
    const auto p = sevenbit::Encode(value);
    return QByteArray(reinterpret_cast<const char*>(p.data()), 2);
}

}  // namespace

TEST(FaultPlanText, ReadsEveryKindOfFault) {
    QString error;
    const auto plan = FaultPlan::Parse(
        QStringLiteral("noboard=1, nopower=2,silent,reply=3:78,reply=4:'x',byte=10:05,cut=7,"
                       "readerror=2,openfail,closefail"),
        &error);
    ASSERT_TRUE(plan) << error.toStdString();
    EXPECT_TRUE(plan->boardMissing[1]);
    EXPECT_TRUE(plan->boardMissing[2]);
    EXPECT_TRUE(plan->silent);
    EXPECT_EQ(plan->refuseCommand.at(3), 0x78);
    EXPECT_EQ(plan->refuseCommand.at(4), 'x');
    EXPECT_EQ(plan->replaceByte.at(10), 0x05);
    EXPECT_EQ(plan->cutAfter, 7);
    EXPECT_EQ(plan->readErrorAt, 2);
    EXPECT_TRUE(plan->openFails);
    EXPECT_TRUE(plan->closeFails);
    EXPECT_TRUE(FaultPlan::Parse(QString(), &error));
}

TEST(FaultPlanText, NamesTheItemItCannotRead) {
    for (const char* bad : {"noboard=3", "reply=0:78", "reply=2", "reply=2:1FF", "cut=-1", "loud",
                            "silent=1", "readerror=x"}) {
        QString error;
        EXPECT_FALSE(FaultPlan::Parse(QString::fromLatin1(bad), &error)) << bad;
        EXPECT_TRUE(error.contains(QString::fromLatin1(bad))) << error.toStdString();
    }
}

TEST(FirmwareModel, AnswersThePollOnlyWhenIdle) {
    FirmwareModel model;
    EXPECT_EQ(Feed(model, "S"), "s");
    EXPECT_EQ(Feed(model, "C"), "");
    EXPECT_EQ(Feed(model, "BW"), "aw");  // in write mode now
    EXPECT_EQ(Feed(model, "S"), "");     // leaves write mode without a word
    EXPECT_EQ(Feed(model, "S"), "s");
    EXPECT_EQ(Feed(model, "@"), "108a");
}

TEST(FirmwareModel, ProgramsReadsAndErasesTheChip) {
    FirmwareModel model;
    // Write mode, word 0x3001 at 0, skip 3, word 0x1234 at 4, configuration 0x1A.
    QByteArray bytes = "BWD" + Pair(0x3001) + "I" + QByteArray(1, char(0x83)) + "D" + Pair(0x1234) +
                       "G" + Pair(0x1A) + "E";
    EXPECT_EQ(Feed(model, bytes), "awwwiwwwgw");
    EXPECT_EQ(model.chip().program[0], 0x3001);
    EXPECT_EQ(model.chip().program[1], 0x3FFF);
    EXPECT_EQ(model.chip().program[4], 0x1234);
    // Only the low seven bits are programmed; the rest stays erased.
    EXPECT_EQ(model.chip().configWord(), 0x3F9A);

    const QByteArray readOut = Feed(model, "R");
    ASSERT_EQ(readOut.size(), 1 + 2 * 1032);
    EXPECT_EQ(readOut[0], 'r');
    EXPECT_EQ(readOut.mid(1, 2), Pair(0x3001));
    EXPECT_EQ(readOut.mid(1 + 2 * 4, 2), Pair(0x1234));
    EXPECT_EQ(readOut.right(2), Pair(0x3F9A));

    EXPECT_EQ(Feed(model, "L"), "a");
    EXPECT_EQ(model.chip().program[0], 0x3FFF);
    EXPECT_EQ(model.chip().configWord(), 0x3F9A);  // the erase keeps the configuration
}

TEST(FirmwareModel, WordsBeyondProgramMemoryAreIgnored) {
    FirmwareModel model;
    QByteArray bytes = "AW";
    for (int i = 0; i < 8; ++i) bytes += "I" + QByteArray(1, char(0x80 | 127));  // to 1016
    bytes += "I" + QByteArray(1, char(0x88));                                    // to 1024
    bytes += "D" + Pair(0x0123);
    Feed(model, bytes);
    ChipMemory blank;
    EXPECT_EQ(model.chip(), blank);
}

TEST(FirmwareModel, WorksTheEepromAndTheConfigurationRead) {
    FirmwareModel model;
    EXPECT_EQ(Feed(model, "AV" + QByteArray(1, char(0x80 | 5)) + Pair(0xA5)), "avva");
    EXPECT_EQ(model.chip().eeprom[5], 0xA5);
    QByteArray all = "M";
    QByteArray expected = "m";
    for (int i = 0; i < 64; ++i) {
        all += Pair(static_cast<uint16_t>(i));
        expected += i < 63 ? "m" : "a";
    }
    EXPECT_EQ(Feed(model, all), expected);
    EXPECT_EQ(model.chip().eeprom[63], 63);
    const QByteArray dump = Feed(model, "X");
    ASSERT_EQ(dump.size(), 1 + 128);
    EXPECT_EQ(dump.mid(1 + 2 * 10, 2), Pair(10));
    EXPECT_EQ(Feed(model, "F"), "a");
    EXPECT_EQ(model.chip().eeprom[10], 0xFF);
    EXPECT_EQ(Feed(model, "Y"), "y" + Pair(0x3FFF));
}

TEST(FirmwareModel, AnAbsentBoardIsAnsweredWithAQuestionMark) {
    FaultPlan faults;
    faults.boardMissing[1] = true;
    FirmwareModel model(faults);
    EXPECT_EQ(Feed(model, "A"), "a");  // the Writer itself answers
    for (const char c : QByteArray("WRLXFVMY")) {
        EXPECT_EQ(Feed(model, QByteArray(1, c)), "?") << c;
        EXPECT_EQ(Feed(model, "S"), "");  // the PC's 'S' after '?' gets no reply
    }
    EXPECT_EQ(Feed(model, "BW"), "aw");  // the other connector has its board
}

TEST(FirmwareModel, RefusedCommandsAreNotPerformed) {
    FaultPlan faults;
    faults.refuseCommand[2] = 'x';
    FirmwareModel model(faults);
    EXPECT_EQ(Feed(model, "B"), "a");
    EXPECT_EQ(Feed(model, "L"), "x");
    EXPECT_EQ(Feed(model, "SCE"), "");  // recovery bytes: no reply to wait for
    EXPECT_EQ(Feed(model, "W"), "w");
}

TEST(FirmwareModel, SentBytesCanBeReplacedCutOrSilenced) {
    FaultPlan replace;
    replace.replaceByte[3] = 0x05;
    FirmwareModel replaced(replace);
    EXPECT_EQ(Feed(replaced, "BR").left(4), QByteArray("ar") + char(0x05) + Pair(0x3FFF)[1]);

    FaultPlan cut;
    cut.cutAfter = 4;
    FirmwareModel short_(cut);
    EXPECT_EQ(Feed(short_, "BR").size(), 4);
    EXPECT_EQ(Feed(short_, "S"), "");

    FaultPlan silent;
    silent.silent = true;
    FirmwareModel mute(silent);
    EXPECT_EQ(Feed(mute, "BS@"), "");
}
