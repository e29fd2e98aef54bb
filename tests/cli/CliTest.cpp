#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/stat.h>
#endif

#include "ProgramRun.h"
#include "TestHost.h"
#include "shared/IntelHex.h"

// qlarkw-cli as a user runs it: the built program on the simulated Writer,
// whose chip lives in a state file between the runs.
namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

const QString kHexDir = QStringLiteral(QLARKW_HEX_DIR);
QString HexFile(const char* name) {
    return kHexDir + u'/' + QLatin1String(name) + QStringLiteral(".hex");
}

// `words` `times` over, as a script that builds its command line may repeat
// them.
QStringList Repeated(const QStringList& words, int times) {
    QStringList line;
    for (int i = 0; i < times; ++i) line += words;
    return line;
}

class Cli : public ::testing::Test {
  protected:
    Result Run(const QStringList& args, const QStringList& extraEnv = {},
               const QString& program = QStringLiteral(QLARKW_CLI)) {
        QProcess process;
        Start(process, args, extraEnv, program);
        return Finish(process);
    }
    // Without waiting, so that runs which wait out the link's time-outs can
    // wait side by side.
    void Start(QProcess& process, const QStringList& args, const QStringList& extraEnv = {},
               const QString& program = QStringLiteral(QLARKW_CLI)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QLARKW_DEVICE"), QStringLiteral("sim"));
        env.insert(QStringLiteral("QLARKW_SIM_STATE"), chip());
        env.remove(QStringLiteral("QLARKW_SIM_FAULT"));
        env.remove(QStringLiteral("QLARKW_SIM_TRACE"));
        for (const QString& item : extraEnv)
            env.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(program, args);
    }
    static Result Finish(QProcess& process) {
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                ProgramText(process.readAllStandardOutput()),
                ProgramText(process.readAllStandardError())};
    }
    QString chip() const { return dir.filePath(QStringLiteral("chip.hex")); }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QByteArray Read(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void Put(const QString& file, const QByteArray& content) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

#ifdef QLARKW_SREC_CMP
    // srecord's comparison of the program words and the configuration word
    // of `original` with the same addresses of `readOut`.
    static int SrecCompare(const QString& original, const QString& readOut) {
        const QStringList ranges = {"-crop", "0", "0x800", "0x400E", "0x4010"};
        QStringList args = QStringList{original, "-intel"} + ranges;
        args += QStringList{readOut, "-intel", "-crop", "-within", original, "-intel"} + ranges;
        return QProcess::execute(QStringLiteral(QLARKW_SREC_CMP), args);
    }
#endif

    // A chip whose EEPROM holds byte (37 a + 5) mod 256 at address a, and
    // `configWord`, in the state file's layout (EEPROM at word 0x2100).
    void SeedChip(uint16_t configWord = 0x3FFF) const {
        std::vector<uint16_t> eeprom(64);
        for (int a = 0; a < 64; ++a) eeprom[a] = (a * 37 + 5) & 0xFF;
        QByteArray image;
        hex::AppendWordRecords(image, 0x2100, eeprom);
        hex::AppendWordRecords(image, 0x2007, std::vector<uint16_t>{configWord});
        Put(chip(), image + hex::EndRecord() + "\r\n");
    }
    // The bytes on the wire in a trace file: "w 42", "r 61", ...
    QStringList Wire(const QString& trace) const {
        QStringList wire;
        for (const QByteArray& line : Read(trace).split('\n')) {
            const QString call = QString::fromUtf8(line).section(u' ', 1);
            if (call.startsWith(u"w ") || call.startsWith(u"r ")) wire << call;
        }
        return wire;
    }

    QTemporaryDir dir;
};

}  // namespace

TEST_F(Cli, HelpAndUsageErrors) {
    const Result help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("Exit codes"));
    for (const QStringList& args :
         {QStringList{}, QStringList{"burn"}, QStringList{"write"}, QStringList{"read", "extra"},
          QStringList{"--board", "3", "erase"}, QStringList{"--config", "0x4000", "erase"},
          QStringList{"erase", "--verify"}, QStringList{"--frobnicate", "erase"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("qlarkw-cli: ")) << r.err.toStdString();
    }
}

TEST_F(Cli, RealProgramsRoundTripThroughTheChip) {
    for (const char* name : {"blink", "servo", "full"}) {
        SCOPED_TRACE(name);
        QFile::remove(chip());
        const Result write = Run({"write", HexFile(name), "--verify"});
        ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();
        EXPECT_TRUE(write.err.contains(QString::fromUtf8("書込みが終了しました")));
        EXPECT_TRUE(write.out.startsWith("verify: ")) << write.out.toStdString();

        const QString out = path("out.hex");
        const Result read = Run({"read", "-o", out});
        ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
        EXPECT_TRUE(read.err.contains(QString::fromUtf8("読取り終了しました")));
#ifdef QLARKW_SREC_CMP
        EXPECT_EQ(SrecCompare(HexFile(name), out), 0);
#endif
        EXPECT_EQ(Run({"verify", HexFile(name)}).exitCode, 0);
    }
}

TEST_F(Cli, ReadWritesQlarkHexInTheCurrentFolderByDefault) {
    const Result read = Run({"read"});
    ASSERT_EQ(read.exitCode, 0) << read.err.toStdString();
    const QByteArray file = Read(path("qlark.hex"));
    EXPECT_EQ(file.count('\n'), 130);
    EXPECT_TRUE(file.startsWith(":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00\r\n"));
}

TEST_F(Cli, EraseAndVerifyMismatch) {
    ASSERT_EQ(Run({"write", HexFile("blink")}).exitCode, 0);
    const Result other = Run({"verify", HexFile("servo")});
    EXPECT_EQ(other.exitCode, 6);
    // servo's first word (goto main) differs from blink's (goto start).
    EXPECT_TRUE(other.err.contains("verify: word 0x0000: file 280D, chip 2810"))
        << other.err.toStdString();
    EXPECT_TRUE(other.err.contains("configuration bits"));

    const Result erase = Run({"erase"});
    EXPECT_EQ(erase.exitCode, 0);
    EXPECT_TRUE(erase.err.contains(QString::fromUtf8("全消去しました")));
    const Result blank = Run({"verify", HexFile("blink")});
    EXPECT_EQ(blank.exitCode, 6);
    EXPECT_TRUE(blank.err.contains("file 2810, chip 3FFF")) << blank.err.toStdString();
}

TEST_F(Cli, ConfigurationWordFromTheOptionOrTheFile) {
    const QString trace = path("trace.txt");
    ASSERT_EQ(Run({"write", HexFile("blink"), "--config", "0x1A", "--board", "1"},
                  {"QLARKW_SIM_TRACE=" + trace})
                  .exitCode,
              0);
    const QString wire = QString::fromUtf8(Read(trace));
    EXPECT_TRUE(wire.contains(" w 41\n")) << wire.toStdString();  // board 1: 'A'
    EXPECT_TRUE(wire.contains(" w 80 9A\n"));                     // 0x1A
    // The set-up calls come first and in order; the time stamps only grow
    // (how fast they grow is the machine's business).
    QStringList calls;
    qint64 lastStamp = 0;
    for (const QString& line : wire.split(u'\n', Qt::SkipEmptyParts)) {
        const qint64 stamp = line.section(u' ', 0, 0).toLongLong();
        EXPECT_GE(stamp, lastStamp) << line.toStdString();
        lastStamp = stamp;
        calls << line.section(u' ', 1);
    }
    EXPECT_EQ(calls.mid(0, 7),
              QStringList({"open Q-LARK USB Programmer", "purge 3", "timeouts 5000 1000",
                           "baud 4800", "data 8 0 0", "flow 0 0 0", "latency 1"}));
    EXPECT_TRUE(
        wire.endsWith(" w 45\n" + wire.section('\n', -2, -2).section(' ', 0, 0) + " close\n"));
    // blink's own word is 0x3FF1: verify against it fails on the bits sent.
    EXPECT_EQ(Run({"verify", HexFile("blink")}).exitCode, 6);
    EXPECT_EQ(Run({"verify", HexFile("blink"), "--config", "26"}).exitCode, 0);
}

TEST_F(Cli, SettingsBesideTheProgramChooseBoardAndWord) {
    // A copy of the program in a folder of its own, with its settings file.
    QTemporaryDir programDir;
    const QString program = programDir.filePath("qlarkw-cli");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QLARKW_CLI), program));
    Put(programDir.filePath("qlarkw.ini"), "[Config]\r\nword= 7\r\n[Mode]\r\nQ-LARK= 1\r\n");
    const QString trace = path("trace.txt");
    const QString noConfig = path("noconfig.hex");
    Put(noConfig, ":020000000130CD\r\n:00000001FF\r\n");
    ASSERT_EQ(Run({"write", noConfig}, {"QLARKW_SIM_TRACE=" + trace}, program).exitCode, 0);
    const QString wire = QString::fromUtf8(Read(trace));
    EXPECT_TRUE(wire.contains(" w 41\n"));
    EXPECT_TRUE(wire.contains(" w 80 87\n"));

    Put(programDir.filePath("qlarkw.ini"), "[Config]\r\nword=many\r\n");
    const Result bad = Run({"write", noConfig}, {}, program);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains("many"));
#ifdef Q_OS_UNIX
    // One that is there but not read is named once, and the defaults are used.
    const QString ini = programDir.filePath("qlarkw.ini");
    ASSERT_TRUE(QFile::remove(ini));
    ASSERT_EQ(::mkfifo(QFile::encodeName(ini).constData(), 0600), 0);
    const Result refused = Run({"erase"}, {"QLARKW_SIM_TRACE=" + path("refused.txt")}, program);
    EXPECT_EQ(refused.exitCode, 0);
    EXPECT_EQ(
        refused.err.section(u'\n', 0, 0),
        "qlarkw-cli: " + ini + ": settings not read (not a regular file); the defaults are used");
    EXPECT_EQ(refused.err.count(ini), 1);
    EXPECT_EQ(Wire(path("refused.txt")).value(0), "w 42");
#endif
}

TEST_F(Cli, FailuresHaveTheirOwnExitCodesAndMessages) {
    QByteArray damaged = Read(HexFile("blink"));
    damaged[damaged.indexOf(":0A0020") + 12] = '9';  // a changed data digit
    Put(path("damaged.hex"), damaged);
    struct Case {
        const char* what;
        QStringList args;
        QStringList env;
        int exitCode;
        const char* message;
    } const cases[] = {
        {"missing file", {"write", "nothing.hex"}, {}, 3, "HEXファイルが存在しません。"},
        {"damaged file", {"write", path("damaged.hex")}, {}, 3, "Hexファイルにエラーがありました"},
        {"no Writer",
         {"erase"},
         {"QLARKW_SIM_FAULT=openfail"},
         4,
         "USBライタの接続を確認してください"},
        {"no board",
         {"read"},
         {"QLARKW_SIM_FAULT=noboard=2"},
         5,
         "Ｑ－ＬＡＲＫマイコンボードからの応答がありません。"},
        {"write refused",
         {"write", HexFile("blink")},
         {"QLARKW_SIM_FAULT=reply=4:78"},
         4,
         "書き込み中にエラーが発生しました"},
        {"short read-out",
         {"read"},
         {"QLARKW_SIM_FAULT=byte=40:00"},
         4,
         "ライタとの通信に失敗しました。"},
        {"unknown device", {"erase"}, {"QLARKW_DEVICE=usb0"}, 2, "unknown device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result r = Run(c.args, c.env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(path("qlark.hex")));  // the short read-out saved nothing
    // The damaged file was refused before anything reached the chip.
    EXPECT_FALSE(QFile::exists(chip()) && Read(chip()).contains(":10002000831686"));
}

TEST_F(Cli, VerboseTellsWhyNoWriterWasFound) {
    const Result r = Run({"--verbose", "erase"}, {"QLARKW_DEVICE=auto"});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.err.contains("device: auto")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("no Writer found")) << r.err.toStdString();
#ifdef QLARKW_APP_DIR
    // The build tree's command line shares the desktop program's settings file.
    EXPECT_TRUE(r.err.contains(", settings " + QDir::cleanPath(QLARKW_APP_DIR) + "/qlarkw.ini\n"))
        << r.err.toStdString();
#endif
}

TEST_F(Cli, UsageErrorsNameTheFirstFaultAndPointToTheHelp) {
    const QString usage = Run({"--help"}).out;
    ASSERT_TRUE(usage.startsWith("Usage: qlarkw-cli")) << usage.toStdString();
    struct Case {
        QStringList args;
        const char* message;  // nullptr: the help, exit code 0
    } const cases[] = {
        {{}, "no command given"},
        {{"--verbose"}, "no command given"},
        {{"burn"}, "unknown command \"burn\""},
        {{"-"}, "unknown command \"-\""},
        {{"write"}, "write needs a HEX file"},
        {{"--verify", "verify"}, "verify needs a HEX file"},
        {{"read", "extra"}, "unexpected argument \"extra\""},
        {{"erase", "-"}, "unexpected argument \"-\""},
        {{"--board", "3", "erase"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"erase", "--board"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"--board", "1", "--board", "x", "erase"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"erase", "--config"}, "--config takes a word"},
        {{"--config", "0x4000", "erase"},
         "--config: \"0x4000\" is not a configuration word (0 to 0x3FFF)"},
        {{"--config", "--verbose", "erase"},
         "--config: \"--verbose\" is not a configuration word (0 to 0x3FFF)"},
        {{"read", "-o"}, "-o takes a file name"},
        {{"read", "--output", ""}, "--output takes a file name"},
        {{"erase", "--verify"}, "--verify goes with write, restore or eeprom write"},
        {{"verify", "x.hex", "--verify"}, "--verify goes with write, restore or eeprom write"},
        {{"--output", "x.hex", "erase"}, "-o goes with read, backup or eeprom read"},
        {{"--config", "+26", "erase"},
         "--config: \"+26\" is not a configuration word (0 to 0x3FFF)"},
        // The EEPROM group, the configuration word and the version.
        {{"eeprom"}, "eeprom needs a command: read, erase, set or write"},
        {{"eeprom", "burn"}, "unknown command \"eeprom burn\""},
        {{"eeprom", "set", "0x12"}, "eeprom set needs a byte value"},
        {{"eeprom", "set", "0x40", "1"},
         "eeprom set: \"0x40\" is not an EEPROM address (0 to 0x3F)"},
        {{"eeprom", "set", "1", "256"}, "eeprom set: \"256\" is not a byte value (0 to 0xFF)"},
        {{"eeprom", "set", "1", "99999999999"},
         "eeprom set: \"99999999999\" is not a byte value (0 to 0xFF)"},
        {{"eeprom", "set", "-1", "2"}, "unknown option -1"},
        {{"config", "-o", "x"}, "-o goes with read, backup or eeprom read"},
        {{"version", "--config", "26"}, "--config goes with write, read, erase or verify"},
        {{"--frobnicate", "erase"}, "unknown option --frobnicate"},
        {{"--x"}, "unknown option --x"},
        {{"-xyz", "erase"}, "unknown option -xyz"},
        {{"-ofile", "read"}, "unknown option -ofile"},
        // The spellings the usage shows, and --name=value for a value.
        {{"--board=3", "erase"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"--verify=1", "write", "x.hex"}, "unknown option --verify=1"},
        {{"-o=x.hex", "read"}, "unknown option -o=x.hex"},
        {{"-board", "1", "erase"}, "unknown option -board"},
        {{"--h"}, "unknown option --h"},
        {{"erase", "--", "--board"}, "unexpected argument \"--board\""},
        {{"--progress=bar", "erase"}, "--progress takes line or json"},
        {{"read", "--watch"}, "--watch goes with write"},
        {{"write", "-", "--watch"}, "--watch needs a file, not standard input"},
        {{"read", "--json", "-o", "-"}, "--json and -o - both print on standard output"},
        // A value is taken whatever it looks like.
        {{"-o", "--x", "--x", "read"}, "unknown option --x"},
        // The options are read from left to right: the first fault or the
        // first help decides, before the command is looked at.
        {{"--board", "3", "--config", "zz", "erase"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"--config", "zz", "--board", "3", "erase"},
         "--config: \"zz\" is not a configuration word (0 to 0x3FFF)"},
        {{"--board", "3", "--frobnicate"}, "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {{"--frobnicate", "--board", "3"}, "unknown option --frobnicate"},
        {{"--frobnicate", "--help"}, "unknown option --frobnicate"},
        {{"burn", "--frobnicate"}, "unknown option --frobnicate"},
        // Several Writers.
        {{"read", "--all"}, "--all goes with write, erase, verify, restore or eeprom write"},
        {{"eeprom", "set", "1", "2", "--all"},
         "--all goes with write, erase, verify, restore or eeprom write"},
        {{"list", "--all"}, "--all goes with write, erase, verify, restore or eeprom write"},
        {{"--all", "--writer", "w-1", "erase"}, "--all and --writer exclude each other"},
        {{"erase", "--jobs", "2"}, "--jobs goes with --all"},
        {{"--all", "--jobs", "0", "erase"}, "--jobs takes a number of Writers, 1 to 999"},
        {{"--all", "erase", "--jobs"}, "--jobs takes a number of Writers, 1 to 999"},
        {{"--writer", "", "erase"}, "--writer takes a Writer's id (qlarkw-cli list shows them)"},
        {{"list", "--writer", "x"},
         "--writer goes with write, read, erase, verify, backup, restore, eeprom read, eeprom "
         "erase, eeprom set, eeprom write, config or version"},
        // A whole chip, serial numbers and the log.
        {{"backup"}, "backup needs -o FILE: the HEX file to write"},
        {{"restore"}, "restore needs a HEX file"},
        {{"verify", "x.hex", "--eeprom"}, "--eeprom goes with write"},
        {{"write", "x.hex", "--serial", "100"},
         "--serial needs --serial-at: where in the EEPROM the number goes"},
        {{"write", "x.hex", "--serial-at", "0x3E:2"},
         "--serial-at needs --serial: the first number"},
        {{"write", "x.hex", "--serial", "1:0", "--serial-at", "0"},
         "--serial takes START[:STEP], numbers 0 to 4294967295 (STEP from 1)"},
        {{"write", "x.hex", "--serial", "300", "--serial-at", "0x3F:1"},
         "--serial: 300 does not fit in 1 byte(s)"},
        {{"write", "x.hex", "--serial", "1", "--serial-at", "0x3E:3"},
         "--serial-at takes ADDR[:BYTES]: an EEPROM address and 1 to 4 bytes that end at 0x3F at "
         "most"},
        {{"write", "x.hex", "--serial-file", "s"},
         "--serial-file needs --serial (its START is used while the file does not exist)"},
        {{"erase", "--serial", "1", "--serial-at", "0"}, "--serial goes with write or restore"},
        {{"list", "--log", "run.csv"},
         "--log goes with write, read, erase, verify, backup, restore, eeprom read, eeprom erase, "
         "eeprom set, eeprom write, config or version"},
        {{"list", "x"}, "unexpected argument \"x\""},
        // However many options come before it.
        {Repeated({"--verbose"}, 2000) + QStringList{"--board", "3", "erase"},
         "--board takes 1 (Q-LARK) or 2 (Q-LARK2)"},
        {Repeated({"--board", "1"}, 2000) + QStringList{"--frobnicate", "erase"},
         "unknown option --frobnicate"},
        {{"--help", "--frobnicate"}, nullptr},
        {{"--help", "--board", "3"}, nullptr},
        {{"burn", "-h"}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = Run(c.args);
        if (!c.message) {
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_EQ(r.out, usage);
            EXPECT_EQ(r.err, QString());
            continue;
        }
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, QString());
        EXPECT_EQ(r.err, "qlarkw-cli: " + QLatin1String(c.message) +
                             "\nTry 'qlarkw-cli --help' for more information.\n");
    }
    EXPECT_FALSE(QFile::exists(chip()));  // nothing reached the chip
}

TEST_F(Cli, OptionsStandBeforeOrAfterTheCommandAndTheLastValueCounts) {
    const QString trace = path("trace.txt");
    ASSERT_EQ(
        Run(Repeated({"--board", "2", "--board", "1"}, 1000) +
                QStringList{"--output", "first.hex", "read", "-o", "second.hex", "--board", "2"},
            {"QLARKW_SIM_TRACE=" + trace})
            .exitCode,
        0);
    EXPECT_FALSE(QFile::exists(path("first.hex")));
    EXPECT_TRUE(QFile::exists(path("second.hex")));
    const QString wire = QString::fromUtf8(Read(trace));
    EXPECT_TRUE(wire.contains(" w 42\n")) << wire.toStdString();  // board 2: 'B'
    EXPECT_FALSE(wire.contains(" w 41\n"));
}

TEST_F(Cli, ConfigReplacesAnUnreadableSettingsWord) {
    QTemporaryDir programDir;
    const QString program = programDir.filePath("qlarkw-cli");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QLARKW_CLI), program));
    Put(programDir.filePath("qlarkw.ini"), "[Config]\r\nword=many\r\n");
    const QString noConfig = path("noconfig.hex");
    Put(noConfig, ":020000000130CD\r\n:00000001FF\r\n");

    const Result bad = Run({"write", noConfig}, {}, program);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "qlarkw-cli: " + programDir.filePath("qlarkw.ini") +
                           ": [Config] word \"many\" is not a number\n");

    const QString trace = path("trace.txt");
    ASSERT_EQ(
        Run({"write", noConfig, "--config", "5"}, {"QLARKW_SIM_TRACE=" + trace}, program).exitCode,
        0);
    EXPECT_TRUE(QString::fromUtf8(Read(trace)).contains(" w 80 85\n"));
    // Without a settings file: the desktop program's default word, 26.
    const QString defaultTrace = path("default.txt");
    ASSERT_EQ(Run({"write", noConfig}, {"QLARKW_SIM_TRACE=" + defaultTrace}).exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(Read(defaultTrace)).contains(" w 80 9A\n"));
}

TEST_F(Cli, EepromTableBackupEraseAndRestore) {
    SeedChip();
    const Result table = Run({"eeprom", "read"});
    ASSERT_EQ(table.exitCode, 0) << table.err.toStdString();
    EXPECT_EQ(table.out,
              "     +0h +1h +2h +3h +4h +5h +6h +7h +8h +9h +Ah +Bh +Ch +Dh +Eh +Fh\n"
              " 00h  05  2A  4F  74  99  BE  E3  08  2D  52  77  9C  C1  E6  0B  30\n"
              " 10h  55  7A  9F  C4  E9  0E  33  58  7D  A2  C7  EC  11  36  5B  80\n"
              " 20h  A5  CA  EF  14  39  5E  83  A8  CD  F2  17  3C  61  86  AB  D0\n"
              " 30h  F5  1A  3F  64  89  AE  D3  F8  1D  42  67  8C  B1  D6  FB  20\n");
    ASSERT_EQ(Run({"eeprom", "read", "-o", "robot.txt"}).exitCode, 0);
    const QByteArray backup = Read(path("robot.txt"));
    EXPECT_TRUE(backup.startsWith("0,5,1,42\r\n2,79,3,116\r\n")) << backup.constData();
    EXPECT_TRUE(backup.endsWith("\r\n62,251,63,32\r\n")) << backup.constData();

    const QByteArray before = Read(chip());
    const Result erase = Run({"eeprom", "erase"});
    EXPECT_EQ(erase.exitCode, 0);
    EXPECT_EQ(erase.err, "eeprom: erased, all 64 bytes are FF\n");
    EXPECT_NE(Read(chip()), before);
    const Result write = Run({"eeprom", "write", "robot.txt", "--verify"});
    EXPECT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_EQ(write.out, "verify: 64 bytes match\n");
    EXPECT_EQ(Read(chip()), before);  // byte for byte
}

TEST_F(Cli, EepromSetSendsTheByteEditorsBytesAndWaits) {
    QElapsedTimer timer;
    timer.start();
    const Result r = Run({"eeprom", "set", "0x12", "0xA5"}, {"QLARKW_SIM_TRACE=trace.txt"});
    EXPECT_GE(timer.elapsed(), 500);  // the byte editor's pause after the write
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Wire(path("trace.txt")),
              QStringList({"w 42", "r 61", "w 56", "r 76", "w 92", "r 76", "w 81 A5", "r 61"}));
    EXPECT_TRUE(Run({"eeprom", "read"}).out.contains(" 10h  FF  FF  A5  FF"));
}

TEST_F(Cli, ConfigAndVersion) {
    SeedChip(0x3F9A);
    const Result config = Run({"config"});
    EXPECT_EQ(config.exitCode, 0) << config.err.toStdString();
    EXPECT_EQ(config.out, "FOSC    HS\nWDT     OFF\nPWRTE   OFF\nCP      OFF\n");
    const Result version = Run({"version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out + version.err, "1.08\n");
}

TEST_F(Cli, EepromConfigAndVersionFailures) {
    SeedChip();
    ASSERT_EQ(Run({"eeprom", "read", "-o", "robot.txt"}).exitCode, 0);
    QByteArray bad = Read(path("robot.txt"));
    Put(path("short.txt"), bad.left(100));
    Put(path("shifted.txt"), bad.left(bad.indexOf('\n') + 1) + bad);  // the first line twice
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    Put(path("letters.txt"), bad.replace("6,227", "6,E3"));
#ifdef Q_OS_UNIX
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe")).constData(), 0600), 0);
#else
    QDir(dir.path()).mkdir("pipe");
#endif
    const QStringList refused = {"QLARKW_SIM_TRACE=refused.txt"};  // the Writer stays closed
    const QStringList noBoard = {"QLARKW_SIM_FAULT=noboard=2"};
    const QStringList silent = {"QLARKW_SIM_FAULT=silent"};
    const struct {
        QStringList args;
        QStringList env;
        int exitCode;
        const char* message;
    } cases[] = {
        {{"eeprom", "write", "none.txt"}, refused, 3, "指定したファイルが存在しないので"},
        {{"eeprom", "write", "short.txt", "--verify"},
         refused,
         3,
         "データファイルのデータが足りません"},
        {{"eeprom", "write", "letters.txt"}, refused, 3, "データファイルの4行目にエラー"},
        {{"eeprom", "write", "shifted.txt", "--verify"},
         refused,
         3,
         "データファイルの2行目にエラー"},
        {{"eeprom", "write", "folder"}, refused, 3, "ファイルを開けませんでした"},
        {{"eeprom", "read", "-o", "pipe"}, {}, 3, "pipe: not a regular file"},
        {{"eeprom", "read"}, noBoard, 5, "マイコンボードからの応答がありません"},
        {{"eeprom", "set", "1", "2"}, noBoard, 5, "Q-LARKの電源が入っていません"},
        // The ninth pair is not data: the read ends after eight bytes.
        {{"eeprom", "read", "-o", "part.txt"},
         {"QLARKW_SIM_FAULT=byte=20:00"},
         4,
         "after 8 of 64 bytes"},
        {{"eeprom", "read"}, silent, 4, "ライタとの通信に失敗しました。"},
        {{"version"}, silent, 4, "no firmware version from the Writer"},
        // Three characters before the 'a', but the second is a NUL.
        {{"version"},
         {"QLARKW_SIM_FAULT=byte=2:00"},
         4,
         "the Writer's answer is not a firmware version: 31 00 38\n"},
        // Byte 106 the Writer sends is the second of the read-back's pair
        // for 0x12: 'a', 'm', 64 answers, 'a', 'x', then two bytes a pair;
        // byte 86 the second of the pair for 8.
        {{"eeprom", "write", "robot.txt", "--verify"},
         {"QLARKW_SIM_FAULT=byte=86:00"},
         4,
         "after 8 of 64 bytes"},
        {{"eeprom", "write", "robot.txt", "--verify"},
         {"QLARKW_SIM_FAULT=byte=106:FF"},
         6,
         "\nverify: byte 0x12: file 9F, chip FF\nverify: 1 difference(s)\n"},
    };
    // Each run has a chip of its own: on Windows a chip file that another
    // run is replacing cannot be opened.
    std::vector<std::unique_ptr<QProcess>> runs;
    for (const auto& c : cases) {
        const QString own = path("chip-%1.hex").arg(runs.size());
        ASSERT_TRUE(QFile::copy(chip(), own));
        runs.push_back(std::make_unique<QProcess>());
        Start(*runs.back(), c.args, c.env + QStringList{QStringLiteral("QLARKW_SIM_STATE=") + own});
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(cases[i].args.join(' ').toStdString());
        const Result r = Finish(*runs[i]);
        EXPECT_EQ(r.exitCode, cases[i].exitCode) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(cases[i].message))) << r.err.toStdString();
    }
    EXPECT_EQ(Read(path("refused.txt")), QByteArray());
    EXPECT_FALSE(QFile::exists(path("part.txt")));
}

// Several Writers named in QLARKW_DEVICE: the simulated one in this
// program, and ttys that are not there.
TEST_F(Cli, ListNamesEachWriterAndSaysWhenThereIsNone) {
    Result r = Run({"list"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("sim  sim     in this program\n"));

    r = Run({"list"}, {"QLARKW_DEVICE=serial:" + path("w-1") + ",serial:" + path("w-2")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.contains(path("w-2") + " does not exist")) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith("no Writer found (QLARKW_DEVICE=serial:" + path("w-1") +
                               ",serial:" + path("w-2") + ")\n"))
        << r.err.toStdString();

    r = Run({"list"}, {"QLARKW_DEVICE=sim,usb"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown device \"usb\"")) << r.err.toStdString();
}

TEST_F(Cli, WriterChoosesOneAndAnUnknownIdIsALinkFailure) {
    Result r = Run({"--writer", "sim", "erase"}, {"QLARKW_DEVICE=serial:" + path("w-1") + ",sim"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("全消去しました"))) << r.err.toStdString();

    r = Run({"--writer", "QL000009", "erase"});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.err, "qlarkw-cli: no Writer \"QL000009\" (qlarkw-cli list shows the Writers)\n");
}

// --all on the one simulated Writer: the same job, its result marked with
// its id, and the table.
TEST_F(Cli, AllRunsTheJobAndEndsWithTheTable) {
    Result r = Run({"--all", "write", HexFile("blink"), "--verify"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("sim: verify: ")) << r.out.toStdString();
    EXPECT_EQ(lines[1], "ID   OUTCOME     TIME  MESSAGE");
    EXPECT_TRUE(lines[2].startsWith("sim  ok       ")) << r.out.toStdString();
    EXPECT_TRUE(lines[2].endsWith("configuration bits match")) << r.out.toStdString();
    EXPECT_EQ(lines[3], "1 of 1 Writer(s) succeeded");
    // Not a terminal: plain progress lines.
    EXPECT_TRUE(r.err.contains("sim  write\n")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("sim  verify       100%\n")) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith("sim  done\n")) << r.err.toStdString();

    // A bad file is refused once, before any Writer is opened.
    Put(path("bad.hex"), ":0C0000008316003086008312860A0428FF\r\n");
    r = Run({"--all", "write", path("bad.hex")}, {"QLARKW_SIM_FAULT=openfail"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err.count(QStringLiteral("ファイルエラー")), 1) << r.err.toStdString();
    Put(path("bad.txt"), "0,1,1\n");
    r = Run({"--all", "eeprom", "write", path("bad.txt")}, {"QLARKW_SIM_FAULT=openfail"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err.count(QStringLiteral("ファイルエラー")), 1) << r.err.toStdString();

    // No Writer at all.
    r = Run({"--all", "erase"}, {"QLARKW_DEVICE=serial:" + path("w-1")});
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_TRUE(r.err.endsWith("qlarkw-cli: no Writer found for --all\n")) << r.err.toStdString();
}

TEST_F(Cli, ConventionsOfCommandLineTools) {
    const Result version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(
        QRegularExpression("^qlarkw-cli \\d+\\.\\d+\\.\\d+\n$").match(version.out).hasMatch())
        << version.out.toStdString();

    // --name=value, and -- before the command.
    const QString trace = path("trace.txt");
    ASSERT_EQ(Run({"--board=1", "--config=0x1A", "--", "write", HexFile("blink")},
                  {"QLARKW_SIM_TRACE=" + trace})
                  .exitCode,
              0);
    EXPECT_TRUE(Read(trace).contains(" w 41\n"));

    // - is standard input for write and verify, standard output for -o.
    for (const QStringList& args : {QStringList{"write", "-"}, QStringList{"verify", "-"}}) {
        QProcess process;
        Start(process, args + QStringList{"--config", "26"});
        process.write(Read(HexFile("servo")));
        process.closeWriteChannel();
        const Result r = Finish(process);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << r.err.toStdString();
    }
    ASSERT_EQ(Run({"read", "-o", "file.hex"}).exitCode, 0);
    const Result toStdout = Run({"read", "-o", "-"});
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err.toStdString();
    EXPECT_EQ(toStdout.out.toUtf8(), Read(path("file.hex")));
    EXPECT_FALSE(QFile::exists(path("-")));
    const Result eeprom = Run({"eeprom", "read", "--output=-"});
    EXPECT_TRUE(eeprom.out.startsWith("0,255,1,255\r\n")) << eeprom.out.toStdString();

    // A refused HEX file: its line and the reason, after the job's message.
    QByteArray damaged = Read(HexFile("blink"));
    damaged[damaged.indexOf(":0A0020") + 12] = '9';
    Put(path("damaged.hex"), damaged);
    const int line = damaged.left(damaged.indexOf(":0A0020")).count('\n') + 1;
    const Result refused = Run({"verify", "damaged.hex"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_TRUE(refused.err.contains(
        QStringLiteral("qlarkw-cli: damaged.hex:%1: the checksum does not match\n").arg(line)))
        << refused.err.toStdString();
}

#ifdef Q_OS_UNIX
// Ctrl-C during a write on a Writer slow enough to be caught part-way: the
// job stops between two words, leaves write mode and says what the chip
// holds; with --all, every Writer.
TEST_F(Cli, CtrlCStopsTheWriteBetweenTwoWords) {
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "--all" : "one Writer");
        const QString trace = path(all ? "all.txt" : "one.txt");
        QFile::remove(chip());
        QProcess process;
        QStringList args = {"write", HexFile("full"), "--json"};
        if (all) args << "--all";
        Start(process, args,
              {"QLARKW_SIM_TRACE=" + trace, "QLARKW_SIM_LATENCY=20", "QLARKW_LATENCY_MS=20"});
        // Once some words have gone out.
        for (int i = 0; i < 3000 && QString::fromUtf8(Read(trace)).count(" w 44\n") < 5; ++i)
            QThread::msleep(10);
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGINT), 0);
        const Result r = Finish(process);
        EXPECT_EQ(r.exitCode, 130) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("stopped by Ctrl-C: the chip is only partly written"))
            << r.err.toStdString();
        const QStringList wire = Wire(trace);
        ASSERT_GE(wire.size(), 2);
        // Write mode left after a whole word's acknowledgement.
        EXPECT_EQ(wire.mid(wire.size() - 2), QStringList({"r 77", "w 45"}));
        EXPECT_TRUE(Read(trace).endsWith(" close\n"));
        const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(report.value("exitCode").toInt(), 130);
        const QJsonObject writer = report.value("writers").toArray().at(0).toObject();
        EXPECT_TRUE(writer.value("incomplete").toBool()) << r.out.toStdString();
        EXPECT_EQ(writer.value("outcome").toString(), "interrupted (130)");
    }
}
#endif

TEST_F(Cli, JsonIsOneDocumentWithTheFactsOfEachWriter) {
    struct Case {
        QStringList args;
        QStringList env;
        int exitCode;
        const char* output;  // the first result line, if any
    } const cases[] = {
        {{"write", HexFile("blink"), "--verify", "--json"}, {}, 0, "verify: "},
        {{"--all", "--json", "verify", HexFile("servo")}, {}, 6, nullptr},
        {{"version", "--json"}, {}, 0, "1.08"},
        {{"--json", "erase"}, {"QLARKW_SIM_FAULT=noboard=2"}, 5, nullptr},
        {{"--json", "doctor"}, {}, 0, nullptr},
        {{"list", "--json"}, {}, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const Result r = Run(c.args, c.env);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        QJsonParseError error;
        const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
        EXPECT_EQ(report.value("program").toString(), "qlarkw-cli");
        EXPECT_EQ(report.value("exitCode").toInt(-1), c.exitCode);
        if (c.args.contains("doctor")) {
            EXPECT_FALSE(report.value("findings").toArray().isEmpty());
            continue;
        }
        if (c.args.contains("list")) {
            EXPECT_EQ(report.value("writers").toArray().at(0).toObject().value("id"), "sim");
            continue;
        }
        const QJsonArray writers = report.value("writers").toArray();
        ASSERT_EQ(writers.size(), 1);
        const QJsonObject writer = writers.at(0).toObject();
        for (const char* key :
             {"writer", "command", "file", "sha256", "serial", "started", "exitCode", "outcome",
              "incomplete", "seconds", "message", "messages", "output"})
            EXPECT_TRUE(writer.contains(QLatin1String(key))) << key;
        EXPECT_EQ(writer.value("writer").toString(), "sim");
        EXPECT_EQ(writer.value("exitCode").toInt(-1), c.exitCode);
        // The HEX file's SHA-256, as the run log gives it.
        EXPECT_EQ(writer.value("sha256").toString().size(),
                  c.args.contains("write") || c.args.contains("verify") ? 64 : 0)
            << r.out.toStdString();
        if (c.output) {
            EXPECT_TRUE(writer.value("output").toArray().at(0).toString().startsWith(c.output))
                << r.out.toStdString();
        }
        if (c.exitCode != 0) {
            // The job's own words, in Japanese.
            EXPECT_FALSE(writer.value("message").toString().isEmpty());
        }
    }
    // Progress for a wrapper: JSON lines on stderr.
    const Result progress = Run({"write", HexFile("blink"), "--progress=json"});
    EXPECT_EQ(progress.exitCode, 0);
    int lines = 0;
    for (const QString& line : progress.err.split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.startsWith(u'{')) continue;
        ++lines;
        EXPECT_EQ(QJsonDocument::fromJson(line.toUtf8()).object().value("writer").toString(), "sim")
            << line.toStdString();
    }
    EXPECT_GE(lines, 2) << progress.err.toStdString();
}

// A whole chip from an assembler (program, configuration word, `de` data)
// goes through write --eeprom, backup, erase and restore and comes out the
// same; the backup holds what the assembler wrote.
TEST_F(Cli, BackupEraseRestoreGivesTheSameChip) {
    const Result write = Run({"write", "--eeprom", HexFile("whole"), "--verify"});
    ASSERT_EQ(write.exitCode, 0) << write.err.toStdString();
    EXPECT_TRUE(write.err.contains("eeprom: 64 byte(s) of")) << write.err.toStdString();
    EXPECT_TRUE(write.out.contains("verify: 64 bytes match")) << write.out.toStdString();

    const Result backup = Run({"backup", "-o", path("a.hex")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
    // The assembler's own output as the oracle: program words, the
    // configuration word and EEPROM bytes at the same addresses.
#ifdef QLARKW_SREC_CMP
    const QStringList ranges = {"-crop", "0", "0x800", "0x400E", "0x4010", "0x4200", "0x4280"};
    EXPECT_EQ(QProcess::execute(QStringLiteral(QLARKW_SREC_CMP),
                                QStringList{HexFile("whole"), "-intel"} + ranges +
                                    QStringList{path("a.hex"), "-intel"} + ranges),
              0);
#endif

    ASSERT_EQ(Run({"erase"}).exitCode, 0);
    ASSERT_EQ(Run({"eeprom", "set", "0", "0x55"}).exitCode, 0);
    const Result restore = Run({"restore", path("a.hex"), "--verify"});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    EXPECT_TRUE(restore.out.contains("verify: 1024 words and the configuration bits match"));
    EXPECT_TRUE(restore.out.contains("verify: 64 bytes match"));
    ASSERT_EQ(Run({"backup", "-o", path("b.hex")}).exitCode, 0);
    EXPECT_EQ(Read(path("a.hex")), Read(path("b.hex")));
}

TEST_F(Cli, WriteTellsOfTheEepromDataItDidNotWrite) {
    struct Case {
        QStringList args;
        const char* said;
        const char* firstRow;
    } const cases[] = {
        {{"write", HexFile("whole")},
         "also holds 64 EEPROM byte(s), which were not written",
         " 00h  FF  FF  FF"},
        {{"write", HexFile("whole"), "--eeprom"}, "eeprom: 64 byte(s)", " 00h  03  0A  11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        QFile::remove(chip());
        const Result write = Run(c.args);
        EXPECT_EQ(write.exitCode, 0) << write.err.toStdString();
        EXPECT_TRUE(write.err.contains(QLatin1String(c.said))) << write.err.toStdString();
        EXPECT_TRUE(Run({"eeprom", "read"}).out.contains(QLatin1String(c.firstRow)));
    }
}

TEST_F(Cli, RestoreRefusesWhatLiesOutsideTheChip) {
    const QByteArray linear1 = hex::FormatRecord(0, 0x04, std::vector<uint8_t>{0x00, 0x01});
    const QByteArray word = hex::FormatRecord(0, 0x00, std::vector<uint8_t>{0x01, 0x30});
    const QByteArray end = hex::EndRecord();
    struct Case {
        QByteArray file;
        const char* said;
    } const cases[] = {
        {word + "\r\n" + linear1 + "\r\n" + word + "\r\n" + end + "\r\n",
         "line 3: byte address 0x10000 lies outside"},
        {hex::FormatRecord(0x4202, 0x00, std::vector<uint8_t>{0x11, 0x22}) + "\r\n",
         "line 1: byte address 0x4203 lies outside"},
    };
    for (const Case& c : cases) {
        Put(path("far.hex"), c.file);
        const Result r = Run({"restore", path("far.hex")});
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_TRUE(r.err.contains(QLatin1String(c.said))) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(chip()));  // the Writer was never opened
    }
}

TEST_F(Cli, SerialNumbersGoToTheChipsThatWereWrittenAndIntoTheLog) {
    const QStringList serial = {"--serial", "100",           "--serial-at",
                                "0x3E:2",   "--serial-file", path("class.serial"),
                                "--log",    path("run.csv")};
    for (int run = 0; run < 2; ++run) {
        const Result r = Run(QStringList{"write", HexFile("blink")} + serial);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(
            r.out.contains(QStringLiteral("serial: %1 written at EEPROM 0x3E").arg(100 + run)))
            << r.out.toStdString();
    }
    // 101 = 0x0065, low byte first.
    EXPECT_TRUE(
        Run({"eeprom", "read"}).out.contains(" 30h" + QString("  FF").repeated(14) + "  65  00"));
    const Result failed =
        Run(QStringList{"write", HexFile("blink")} + serial, {"QLARKW_SIM_FAULT=openfail"});
    EXPECT_EQ(failed.exitCode, 4);
    EXPECT_EQ(Read(path("class.serial")), "next=102\n");

    const QList<QByteArray> lines = Read(path("run.csv")).split('\n');
    ASSERT_EQ(lines.size(), 4);
    const QByteArray sha =
        QCryptographicHash::hash(Read(HexFile("blink")), QCryptographicHash::Sha256).toHex();
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split(',');
        ASSERT_GE(fields.size(), 10) << lines[i].constData();  // a message may hold commas
        EXPECT_EQ(fields[1], "sim");
        EXPECT_EQ(fields[2], "write");
        EXPECT_EQ(fields[4], sha);
        EXPECT_EQ(fields[5], i < 2 ? QByteArray::number(100 + i) : QByteArray());
        EXPECT_EQ(fields[7], i < 2 ? "0" : "4");
    }
    EXPECT_TRUE(lines[3].isEmpty());
}
