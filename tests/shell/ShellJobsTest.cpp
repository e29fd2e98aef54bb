// The desktop program's jobs without windows: command line, settings
// conversions, the firmware version query and the instance lock.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cctype>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "SimFixture.h"
#include "resources/Texts.h"
#include "shell/CommandLine.h"
#include "shell/CommonDialog.h"
#include "shell/FirmwareVersion.h"
#include "shell/InstanceLock.h"
#include "shell/ShellSettings.h"

using commandline::Verdict;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

struct CommandLineCase {
    const char* line;
    bool fileExists;
    Verdict verdict;
    int mode;
    const char* argument;
};

TEST(CommandLine, StartModesAndArguments) {
    const CommandLineCase cases[] = {
        {"", false, Verdict::Accepted, 0, ""},
        {"/Fdata.txt", false, Verdict::Accepted, 1, "data.txt"},
        {"/F data.txt", false, Verdict::Accepted, 1, " data.txt"},
        {"   /f data.txt  ", false, Verdict::Accepted, 1, " data.txt  "},
        {"/f", false, Verdict::Accepted, 1, ""},
        {"C:\\work\\robot.hex", true, Verdict::Accepted, 2, "C:\\work\\robot.hex"},
        {"  /home/u/Robot.HeX", true, Verdict::Accepted, 2, "/home/u/Robot.HeX"},
        {"/home/u/missing.hex", false, Verdict::CannotLoadFile, 0, "/home/u/missing.hex"},
        {"\"/home/u/robot.hex\"", true, Verdict::WrongArgument, 0, "\"/home/u/robot.hex\""},
        {"/home/u/robot.hex ", true, Verdict::WrongArgument, 0, "/home/u/robot.hex "},
        {"data.txt", true, Verdict::WrongArgument, 0, "data.txt"},
        {"-F data.txt", true, Verdict::WrongArgument, 0, "-F data.txt"},
    };
    for (const CommandLineCase& c : cases) {
        QStringList asked;
        const commandline::StartRequest r = commandline::Parse(U(c.line), [&](const QString& path) {
            asked << path;
            return c.fileExists;
        });
        EXPECT_EQ(r.verdict, c.verdict) << c.line;
        if (c.verdict == Verdict::Accepted) {
            EXPECT_EQ(r.StartMode, c.mode) << c.line;
            EXPECT_EQ(r.StartArgument, U(c.argument)) << c.line;
        }
        // Only a ".HEX" argument is looked for on disk.
        EXPECT_EQ(!asked.isEmpty(),
                  QString::fromUtf8(c.line).trimmed().toUpper().endsWith(u".HEX") &&
                      !QString::fromUtf8(c.line).endsWith(u' ') &&
                      !QString::fromUtf8(c.line).endsWith(u'"'))
            << c.line;
    }
}

// On Windows the text is the process's own command line after the program's
// name (the next test), not its argv.
#ifndef Q_OS_WIN
TEST(CommandLine, ArgumentsJoinedAsOneText) {
    const char* argv[] = {"qlarkw", "/F", "my", "data.txt"};
    EXPECT_EQ(commandline::FromArguments(4, argv), U("/F my data.txt"));
    const char* none[] = {"qlarkw"};
    EXPECT_EQ(commandline::FromArguments(1, none), QString());
}
#endif

TEST(CommandLine, TextAfterTheProgramNameOfAWindowsCommandLine) {
    EXPECT_EQ(commandline::AfterProgramName(U("qlarkw.exe /F data.txt")), U("/F data.txt"));
    EXPECT_EQ(commandline::AfterProgramName(U("\"C:\\Program Files\\qlarkw.exe\"  C:\\a b.hex")),
              U("C:\\a b.hex"));
    EXPECT_EQ(commandline::AfterProgramName(U("\"C:\\x\\qlarkw.exe\" \"C:\\q.hex\"")),
              U("\"C:\\q.hex\""));
    EXPECT_EQ(commandline::AfterProgramName(U("qlarkw.exe")), QString());
}

TEST(Settings, ConversionsOfTheStoredValues) {
    EXPECT_EQ(shellsettings::BuildVersionText(1, 8), U("1.08 2005.5"));
    EXPECT_EQ(shellsettings::BuildVersionText(2, 10), U("2.10 2005.5"));

    EXPECT_EQ(shellsettings::BoardFromSetting(U("1")), 1);
    for (const char* other : {"???", "2", "3", "abc", "01", ""})
        EXPECT_EQ(shellsettings::BoardFromSetting(U(other)), 2) << other;

    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U("???")), std::optional<int16_t>(26));
    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U(" 25")), std::optional<int16_t>(25));
    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U("-3")), std::optional<int16_t>(-3));
    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U("abc")), std::nullopt);
    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U("40000")), std::nullopt);
    EXPECT_EQ(shellsettings::ConfigWordFromSetting(U("")), std::nullopt);
}

TEST(FileDialog, FilterOfHexAndAllFiles) {
    EXPECT_EQ(NameFilters(texts::Text(texts::kHexFileFilter)),
              QStringList({U("Hexファイル(*.hex)"), U("すべてのファイル(*.*)")}));
    EXPECT_EQ(NameFilters(U("Text|*.txt")), QStringList({U("Text (*.txt)")}));
}

TEST(InstanceLockTest, SecondLockOfTheSameFileIsRefusedUntilTheFirstGoes) {
    using R = InstanceLock::Result;
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("lock"));
    auto first = std::make_unique<InstanceLock>(path);
    EXPECT_EQ(first->TryLock(), R::Locked);
    EXPECT_EQ(first->TryLock(), R::Locked);  // asking again keeps it
    InstanceLock second(path);
    EXPECT_EQ(second.TryLock(), R::Held);
    first.reset();
    EXPECT_EQ(second.TryLock(), R::Locked);
}

#ifndef Q_OS_WIN
// What another user may have left at the lock's place or made of its folder
// is refused at once (a pipe is never waited on), and never taken for a
// running instance; a file of the user's left by a crash holds nothing.
TEST(InstanceLockTest, OnlyTheUsersOwnFileInTheUsersOwnFolderLocks) {
    using R = InstanceLock::Result;
    enum Plant { CrashLeftover, Pipe, OthersFile, OpenFolder, OthersFolder };
    const struct {
        Plant plant;
        R expected;
        const char* problem;
    } cases[] = {
        {CrashLeftover, R::Locked, ""},
        {Pipe, R::Refused, "lock: not a regular file of the user's"},
        {OthersFile, R::Refused, "lock: not a regular file of the user's"},
        {OpenFolder, R::Refused, ": others can write to it"},
        {OthersFolder, R::Refused, ": not the user's folder"},
    };
    constexpr uid_t kOther = 65534;
    int notMade = 0;  // cases only root can set up
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plant);
        QTemporaryDir dir;
        const QString lock = QDir(dir.path()).filePath(QStringLiteral("lock"));
        const QByteArray folder = QFile::encodeName(dir.path()), file = QFile::encodeName(lock);
        QFile leftover(lock);
        bool made = c.plant == Pipe         ? ::mkfifo(file.constData(), 0600) == 0
                    : c.plant == OpenFolder ? ::chmod(folder.constData(), 0777) == 0
                    : c.plant == OthersFolder
                        ? ::chown(folder.constData(), kOther, kOther) == 0
                        : leftover.open(QIODevice::WriteOnly) && leftover.write("4242\n") == 5;
        leftover.close();
        if (c.plant == OthersFile) made = made && ::chown(file.constData(), kOther, kOther) == 0;
        if (!made) {
            ++notMade;
            continue;
        }
        QString why;
        InstanceLock instance(lock);
        EXPECT_EQ(instance.TryLock(&why), c.expected);
        EXPECT_TRUE(*c.problem ? why.endsWith(QLatin1String(c.problem)) : why.isEmpty())
            << why.toStdString();
    }
    if (notMade > 0) GTEST_SKIP() << "not root: another user's file or folder cannot be made";
}

TEST(InstanceLockTest, LivesInTheRuntimeFolderOrTheUsersOwnCacheFolder) {
    QTemporaryDir dir;
    const QString runtime = dir.filePath(QStringLiteral("run"));
    const QString cache = dir.filePath(QStringLiteral("cache"));
    ASSERT_TRUE(QDir().mkdir(runtime));
    EXPECT_EQ(InstanceLockPathIn(runtime, cache), runtime + QStringLiteral("/qlarkw.lock"));
    const QString own = cache + QStringLiteral("/qlarkw/qlarkw.lock");
    EXPECT_EQ(InstanceLockPathIn(QString(), cache), own);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(cache + QStringLiteral("/qlarkw")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0777), 0);
    EXPECT_EQ(InstanceLockPathIn(runtime, cache), own);
    EXPECT_EQ(InstanceLockPathIn(QStringLiteral("run"), cache), own);  // not a whole path
    EXPECT_EQ(InstanceLock(InstanceLockPathIn(QString(), QString())).TryLock(),
              InstanceLock::Result::Refused);
}
#endif

// The firmware version query on the simulated Writer.
struct VersionCase {
    const char* name;
    QByteArray replies;  // what the Writer sends after '@' (terminator included)
    std::optional<QString> expected;
};

void PrintTo(const VersionCase& c, std::ostream* out) {
    *out << c.name;
}

class FirmwareQuery : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FirmwareQuery, ReplyGivesVersionOrNothing) {
    const VersionCase& c = GetParam();
    // The version digits and the terminator as the Writer sends them: the
    // model ends its reply with 'a'; a replaced last byte gives 's'.
    QByteArray digits = c.replies;
    const char terminator = digits.isEmpty() ? 0 : digits.back();
    if (terminator == 'a' || terminator == 's') digits.chop(1);
    FaultPlan faults;
    if (terminator == 's') faults.replaceByte[digits.size() + 1] = 's';
    if (terminator != 'a' && terminator != 's') faults.cutAfter = static_cast<int>(digits.size());
    SimRig custom(faults);
    custom.device->firmware().setVersion(digits);

    EXPECT_EQ(QueryFirmwareVersion(*custom.device, custom.host, custom.state), c.expected)
        << c.name;
    EXPECT_TRUE(custom.host.messages.empty());
    EXPECT_FALSE(custom.state.QuietOpen);
    EXPECT_EQ(custom.device->closeCount(), 1);
    ASSERT_FALSE(custom.Wire().isEmpty());
    EXPECT_EQ(custom.Wire().front(), QStringLiteral("w 40"));
}

INSTANTIATE_TEST_SUITE_P(Replies, FirmwareQuery,
                         ::testing::Values(VersionCase{"108a", "108a", QStringLiteral("1.08")},
                                           VersionCase{"108s", "108s", QStringLiteral("1.08")},
                                           VersionCase{"a at once", "a", std::nullopt},
                                           VersionCase{"two characters", "12a", std::nullopt},
                                           VersionCase{"five without end", "12345", std::nullopt},
                                           VersionCase{"four characters", "1234a", std::nullopt},
                                           // Only visible characters make a version.
                                           VersionCase{"control character",
                                                       QByteArray("1\x00"
                                                                  "8a",
                                                                  4),
                                                       std::nullopt},
                                           VersionCase{"byte above 7E",
                                                       "\xFF"
                                                       "08a",
                                                       std::nullopt},
                                           VersionCase{"blank", "1 8a", std::nullopt}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(FirmwareQueryTiming, SilentWriterCountsFiveTimeOutsAndShowsTheNotice) {
    FaultPlan faults;
    faults.silent = true;
    SimRig rig(faults);
    const int64_t before = rig.clock.NowMs();
    EXPECT_EQ(QueryFirmwareVersion(*rig.device, rig.host, rig.state), std::nullopt);
    // 50 ms settling, 200 ms after '@', five reads of 5000 ms with 50 ms after each.
    EXPECT_EQ(rig.clock.NowMs() - before, 50 + 200 + 5 * (5000 + 50));
    EXPECT_EQ(rig.Wire().filter(QStringLiteral("r")).size(), 5);
    EXPECT_EQ(AboutFirmwareLine(std::nullopt), U("このアプリケーションはＴ５８１３専用です"));
    EXPECT_EQ(AboutFirmwareLine(U("1.08")), U("ファームウェアバージョン 1.08"));
}

TEST(FirmwareQueryTiming, UnpluggedWriterShowsNothingAndTheNextOpenSpeaksAgain) {
    FaultPlan faults;
    faults.openFails = true;
    SimRig rig(faults);
    EXPECT_EQ(QueryFirmwareVersion(*rig.device, rig.host, rig.state), std::nullopt);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_FALSE(rig.state.QuietOpen);
}

TEST(FirmwareQueryTiming, ACharacterLostOnTheLineGivesTheNoticeNotAWrongVersion) {
    // The Writer sends "108a"; one of the digits does not arrive, and the
    // read that waited for it finds the previous byte still there.
    for (const int lost : {1, 2, 3}) {
        SCOPED_TRACE(lost);
        FaultPlan faults;
        faults.dropReadAt = lost;
        SimRig rig(faults);
        EXPECT_EQ(QueryFirmwareVersion(*rig.device, rig.host, rig.state), std::nullopt);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_EQ(rig.device->closeCount(), 1);
        EXPECT_EQ(rig.Wire().filter(QStringLiteral("r")).size(), 4);
    }
}

TEST(FirmwareQueryTiming, FailedReadOrCloseGivesTheNotice) {
    FaultPlan readError;
    readError.readErrorAt = 2;
    SimRig a(readError);
    EXPECT_EQ(QueryFirmwareVersion(*a.device, a.host, a.state), std::nullopt);
    EXPECT_EQ(a.device->closeCount(), 1);

    FaultPlan closeFails;
    closeFails.closeFails = true;
    SimRig b(closeFails);
    EXPECT_EQ(QueryFirmwareVersion(*b.device, b.host, b.state), std::nullopt);
    EXPECT_TRUE(b.host.messages.empty());
}

}  // namespace
