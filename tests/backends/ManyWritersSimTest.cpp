#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <vector>

#include "ProgramRun.h"
#include "SimProcess.h"

// A class set on one computer: qlarkw-sim --count 3 serves three Writers
// on their own ptys, one with a fault of its own, and qlarkw-cli --all
// writes them side by side.

namespace {

class ManyWritersSim : public ::testing::Test {
  protected:
    // Three Writers, the state of each in chip-N.hex and its events in
    // trace-N.txt; `fault` for one.
    void Serve(const QString& fault) {
        QStringList args = {QStringLiteral("--count"), QStringLiteral("3"),
                            QStringLiteral("--pace"), QStringLiteral("instant")};
        if (!fault.isEmpty()) args << QStringLiteral("--fault") << fault;
        ASSERT_TRUE(sim.Start(args,
                              {QStringLiteral("QLARKW_SIM_STATE=") + Temp("chip.hex"),
                               QStringLiteral("QLARKW_SIM_TRACE=") + Temp("trace.txt")},
                              3));
        ASSERT_EQ(sim.paths().size(), 3);
        device = QStringLiteral("serial:") + sim.paths().join(QStringLiteral(",serial:"));
    }

    ProgramRun Cli(const QStringList& args, const QString& program = QStringLiteral(QLARKW_CLI)) {
        return RunProgram(program, args, device, dir.path());
    }

    // The columns of the line whose first column is Writer `index`'s path
    // (0 to 2): the columns stand two or more blanks apart, each as wide as
    // its widest entry.
    QStringList Columns(const QString& text, int index) const {
        static const QRegularExpression gap(QStringLiteral("  +"));
        for (const QString& line : text.split(u'\n')) {
            const QStringList columns = line.split(gap);
            if (columns.first() == sim.paths()[index]) return columns;
        }
        return {};
    }
    // The table's row of Writer `index`: id, outcome, time, message.
    QString Row(const ProgramRun& run, int index) const {
        return Columns(run.out, index).join(QStringLiteral("  "));
    }

    QString Data(const char* name) const {
        return QStringLiteral(QLARKW_BACKENDS_DATA) + u'/' + QLatin1String(name);
    }
    QString Temp(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QString Temp(const char* pattern, int index) const {
        return dir.filePath(QString::fromLatin1(pattern).arg(index));
    }

    QTemporaryDir dir;
    SimProcess sim;
    QString device;
};

}  // namespace

TEST_F(ManyWritersSim, AWriterWithoutABoardFailsAloneAndTheOthersAreWritten) {
    Serve(QStringLiteral("2:noboard=1"));
    ProgramRun run = Cli({QStringLiteral("list")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.count(u'\n'), 3) << run.out.toStdString();
    for (int index = 0; index < 3; ++index)
        EXPECT_EQ(Columns(run.out, index).value(1), QStringLiteral("serial")) << index;

    run = Cli({QStringLiteral("--all"), QStringLiteral("write"), Data("portb_count.hex"),
               QStringLiteral("--verify"), QStringLiteral("--board"), QStringLiteral("1")});
    EXPECT_EQ(run.exitCode, 5) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(Row(run, 0).contains(QStringLiteral(" ok "))) << run.out.toStdString();
    EXPECT_TRUE(
        Row(run, 0).endsWith(QStringLiteral("verify: 8 words and the configuration bits match")));
    EXPECT_TRUE(Row(run, 1).contains(QStringLiteral(" no board (5) "))) << run.out.toStdString();
    EXPECT_TRUE(
        Row(run, 1).contains(QStringLiteral("Ｑ－ＬＡＲＫマイコンボードからの応答がありません。")));
    EXPECT_TRUE(Row(run, 2).contains(QStringLiteral(" ok "))) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("2 of 3 Writer(s) succeeded\n")));
    // Only the failed Writer's messages, marked with its tty.
    EXPECT_TRUE(run.err.contains(sim.paths()[1] + QStringLiteral(": エラーが発生しました: ")))
        << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(sim.paths()[0] + QStringLiteral(": ")));

    // Each chip on its own: the two written verify, one at a time.
    for (int index : {0, 2}) {
        run = Cli({QStringLiteral("--writer"), sim.paths()[index], QStringLiteral("verify"),
                   Data("portb_count.hex")});
        EXPECT_EQ(run.exitCode, 0) << index << run.err.toStdString();
    }
    EXPECT_EQ(sim.Stop(), 0);
    // The unwritten one's chip was saved blank; the others hold the program.
    for (const char* name : {"chip-1.hex", "chip-2.hex", "chip-3.hex"})
        EXPECT_TRUE(QFile::exists(Temp(name))) << name;
    QFile blank(Temp("chip-2.hex"));
    ASSERT_TRUE(blank.open(QIODevice::ReadOnly));
    EXPECT_FALSE(blank.readAll().contains("83160030"));
    QFile written(Temp("chip-1.hex"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("831600308600"));
}

TEST_F(ManyWritersSim, ALineCutMidWriteFailsThatWriterWithItsOwnMessage) {
    Serve(QStringLiteral("3:cut=40"));  // in the middle of the 64 bytes
    const ProgramRun run =
        Cli({QStringLiteral("--all"), QStringLiteral("--jobs"), QStringLiteral("2"),
             QStringLiteral("eeprom"), QStringLiteral("write"), Temp("data.txt")});
    // No data file yet: refused once, before any Writer.
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    QFile data(Temp("data.txt"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    for (int k = 0; k < 32; ++k)
        data.write(QByteArray::number(2 * k) + ",171," + QByteArray::number(2 * k + 1) +
                   ",205\r\n");
    data.close();

    const ProgramRun all =
        Cli({QStringLiteral("--all"), QStringLiteral("--jobs"), QStringLiteral("2"),
             QStringLiteral("eeprom"), QStringLiteral("write"), Temp("data.txt"),
             QStringLiteral("--verify")});
    EXPECT_EQ(all.exitCode, 4) << all.out.toStdString() << all.err.toStdString();
    EXPECT_TRUE(Row(all, 0).contains(QStringLiteral(" ok "))) << all.out.toStdString();
    EXPECT_TRUE(Row(all, 1).endsWith(QStringLiteral("verify: 64 bytes match")));
    EXPECT_TRUE(Row(all, 2).contains(QStringLiteral(" link failure (4) ")))
        << all.out.toStdString();
    EXPECT_TRUE(all.err.contains(sim.paths()[2] + QStringLiteral(": "))) << all.err.toStdString();
}

// Each Writer of --all selects the board of the settings file: 'A' for
// Q-LARK, 'B' for Q-LARK2, in every Writer's handshake.
TEST_F(ManyWritersSim, EveryWriterSelectsTheBoardOfTheSettingsFile) {
    Serve({});
    // A copy of the program in a folder of its own, beside its settings file.
    QTemporaryDir programDir;
    const QString program = programDir.filePath(QStringLiteral("qlarkw-cli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QLARKW_CLI), program));
    struct Case {
        const char* board;
        const char* select;  // the handshake byte on the wire
        const char* other;
    };
    for (const Case& c : {Case{"1", "w 41", "w 42"}, Case{"2", "w 42", "w 41"}}) {
        QFile settings(programDir.filePath(QStringLiteral("qlarkw.ini")));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QByteArray("[Mode]\r\nQ-LARK= ") + c.board + "\r\n");
        settings.close();
        std::vector<qsizetype> before;  // the events of the earlier runs, per Writer
        for (int index = 1; index <= 3; ++index)
            before.push_back(TraceEvents(Temp("trace-%1.txt", index)).size());

        const ProgramRun run = Cli({QStringLiteral("--all"), QStringLiteral("erase")}, program);
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
        for (int index = 1; index <= 3; ++index) {
            const QStringList events =
                TraceEvents(Temp("trace-%1.txt", index)).mid(before[index - 1]);
            EXPECT_FALSE(events.contains(QLatin1String(c.other))) << c.board << " Writer " << index;
            EXPECT_TRUE(events.contains(QLatin1String(c.select))) << c.board << " Writer " << index;
        }
    }
}
