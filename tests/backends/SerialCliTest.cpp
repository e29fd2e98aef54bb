#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "ProgramRun.h"
#include "SimProcess.h"

// qlarkw-cli through QLARKW_DEVICE=serial:PTY against qlarkw-sim: every
// program-memory job on a real tty. The HEX input is a PIC assembler's
// output; the read-out is checked by srecord, an independent HEX tool.

namespace {

class SerialCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Start(
            {QStringLiteral("--pace"), QStringLiteral("instant")},
            {QStringLiteral("QLARKW_SIM_STATE=") + dir.filePath(QStringLiteral("chip.hex"))}));
    }

    ProgramRun Cli(const QStringList& args) {
        return RunProgram(QStringLiteral(QLARKW_CLI), args, QStringLiteral("serial:") + sim.path(),
                          dir.path());
    }

    QString Data(const char* name) const {
        return QStringLiteral(QLARKW_BACKENDS_DATA) + u'/' + QLatin1String(name);
    }
    QString Temp(const char* name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    SimProcess sim;
};

#ifdef SREC_CAT
// Runs an srecord tool; its exit code and what it said.
ProgramRun Srec(const char* tool, const QStringList& args) {
    return RunProgram(QLatin1String(tool), args);
}

// Program memory of a read-out as srecord reads it: 2048 bytes, word n at
// byte 2n, low byte first.
QByteArray ProgramBytes(const QString& hexPath, const QString& binPath) {
    const ProgramRun run =
        Srec(SREC_CAT,
             {hexPath, QStringLiteral("-intel"), QStringLiteral("-crop"), QStringLiteral("0"),
              QStringLiteral("0x800"), QStringLiteral("-o"), binPath, QStringLiteral("-binary")});
    if (run.exitCode != 0) return QByteArray("srec_cat failed: ") + run.err.toUtf8();
    QFile file(binPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}
#endif

}  // namespace

TEST_F(SerialCliTest, WriteVerifyReadOfAnAssembledProgram) {
    ProgramRun run =
        Cli({QStringLiteral("write"), Data("portb_count.hex"), QStringLiteral("--verify")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("書込みが終了しました"))) << run.err.toStdString();
    EXPECT_TRUE(
        run.out.contains(QStringLiteral("verify: 8 words and the configuration bits match")))
        << run.out.toStdString();

    run = Cli({QStringLiteral("verify"), Data("portb_count.hex")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    run = Cli({QStringLiteral("read"), QStringLiteral("-o"), Temp("readout.hex")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("読取り終了しました")));
    ASSERT_TRUE(QFile::exists(Temp("readout.hex")));
#ifdef SREC_CAT
    // Within the assembler's ranges the read-out holds exactly its words,
    // the configuration word included (0x3FF2 keeps bits 13..7 set).
    // The assembler's ranges: words 0..5, 0x100..0x101, the configuration word.
    const ProgramRun cmp =
        Srec(SREC_CMP, {Data("portb_count.hex"), QStringLiteral("-intel"), Temp("readout.hex"),
                        QStringLiteral("-intel"), QStringLiteral("-crop"), QStringLiteral("0"),
                        QStringLiteral("0xC"), QStringLiteral("0x200"), QStringLiteral("0x204"),
                        QStringLiteral("0x400E"), QStringLiteral("0x4010")});
    EXPECT_EQ(cmp.exitCode, 0) << cmp.out.toStdString() << cmp.err.toStdString();
    // Outside them, erased words.
    const QByteArray program = ProgramBytes(Temp("readout.hex"), Temp("readout.bin"));
    ASSERT_EQ(program.size(), 2048) << program.constData();
    for (int word = 6; word < 1024; ++word) {
        if (word == 0x100 || word == 0x101) continue;
        ASSERT_EQ(static_cast<uint8_t>(program[2 * word]), 0xFF) << "word " << word;
        ASSERT_EQ(static_cast<uint8_t>(program[2 * word + 1]), 0x3F) << "word " << word;
    }
#endif
}

TEST_F(SerialCliTest, EraseBlanksProgramMemoryAndVerifyThenFindsTheDifferences) {
    ASSERT_EQ(Cli({QStringLiteral("write"), Data("portb_count.hex")}).exitCode, 0);
    ProgramRun run = Cli({QStringLiteral("erase")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("全消去しました"))) << run.err.toStdString();

    run = Cli({QStringLiteral("verify"), Data("portb_count.hex")});
    EXPECT_EQ(run.exitCode, 6) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("verify: word 0x0000: file 1683, chip 3FFF")))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("verify: 8 difference(s)")))
        << run.err.toStdString();

    run = Cli({QStringLiteral("read"), QStringLiteral("-o"), Temp("erased.hex")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
#ifdef SREC_CAT
    const QByteArray program = ProgramBytes(Temp("erased.hex"), Temp("erased.bin"));
    ASSERT_EQ(program.size(), 2048) << program.constData();
    QByteArray blank;
    for (int word = 0; word < 1024; ++word) blank.append("\xFF\x3F", 2);
    EXPECT_EQ(program, blank);
#endif
}

TEST_F(SerialCliTest, BadInputIsRefusedAndTheChipKept) {
    ASSERT_EQ(Cli({QStringLiteral("write"), Data("portb_count.hex")}).exitCode, 0);
    QFile broken(Temp("broken.hex"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(":0C0000008316003086008312860A0428FF\r\n");  // wrong checksum
    broken.close();
    ProgramRun run = Cli({QStringLiteral("write"), Temp("broken.hex")});
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    run = Cli({QStringLiteral("write"), Temp("missing.hex")});
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    run = Cli({QStringLiteral("verify"), Data("portb_count.hex")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

#ifdef SREC_CAT
// All of program memory, as an image srecord made from random words.
TEST_F(SerialCliTest, FullMemoryImageMadeBySrecordRoundTrips) {
    QByteArray words;
    QRandomGenerator random(20050501);
    for (int word = 0; word < 1024; ++word) {
        const auto value = static_cast<uint16_t>(random.bounded(0x4000));
        words.append(static_cast<char>(value & 0xFF));
        words.append(static_cast<char>(value >> 8));
    }
    QFile bin(Temp("full.bin"));
    ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
    bin.write(words);
    bin.close();
    const ProgramRun made =
        Srec(SREC_CAT, {Temp("full.bin"), QStringLiteral("-binary"), QStringLiteral("-o"),
                        Temp("full.hex"), QStringLiteral("-intel")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    ProgramRun run = Cli({QStringLiteral("write"), Temp("full.hex"), QStringLiteral("--verify")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("verify: 1024 words"))) << run.out.toStdString();
    run = Cli({QStringLiteral("read"), QStringLiteral("-o"), Temp("full-readout.hex")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(ProgramBytes(Temp("full-readout.hex"), Temp("full-readout.bin")), words);
}
#endif

// The EEPROM on a real tty: a byte set, the EEPROM backed up, erased, and
// restored from the backup; then the configuration word and the version.
TEST_F(SerialCliTest, EepromBackupEraseRestoreConfigAndVersion) {
    auto words = [](const char* line) { return QString::fromLatin1(line).split(u' '); };
    const QString backup = Temp("robot.txt");
    for (const QStringList& args :
         {words("eeprom set 0x12 0xA5"), words("eeprom read -o") << backup, words("eeprom erase"),
          words("eeprom write --verify") << backup}) {
        const ProgramRun run = Cli(args);
        ASSERT_EQ(run.exitCode, 0) << args.join(u' ').toStdString() << run.err.toStdString();
    }
    EXPECT_TRUE(Cli({QStringLiteral("eeprom"), QStringLiteral("read")})
                    .out.contains(QStringLiteral("\n 10h  FF  FF  A5  FF  FF")));
    EXPECT_EQ(Cli({QStringLiteral("config")}).out,
              QStringLiteral("FOSC    RC\nWDT     ON\nPWRTE   OFF\nCP      OFF\n"));  // blank: 3FFF
    EXPECT_EQ(Cli({QStringLiteral("version")}).out, QStringLiteral("1.08\n"));
}
