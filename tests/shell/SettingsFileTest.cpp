#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>

#include "TestHost.h"
#include "shell/SettingsFile.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

struct IniRig {
    IniRig() : settings(SettingsPathIn(dir.path())) {}
    void Put(const QByteArray& text) {
        QFile file(settings.path());
        file.open(QIODevice::WriteOnly);
        file.write(text);
    }
    QByteArray Get() const {
        QFile file(settings.path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    SettingsFile settings;
};

}  // namespace

TEST(SettingsFile, LivesBesideTheProgram) {
    EXPECT_EQ(SettingsPathIn(QStringLiteral("/opt/qlarkw")),
              QStringLiteral("/opt/qlarkw/qlarkw.ini"));
    EXPECT_EQ(SettingsPathIn(QStringLiteral("/opt/qlarkw/")),
              QStringLiteral("/opt/qlarkw/qlarkw.ini"));
}

// Which settings file a program uses, with the folder's and the file's
// writability given by the test (as root, every folder could be written).
TEST(SettingsPath, PortableCopyWinsInstalledAndReadOnlyUseTheConfigFolderOnly) {
    struct Case {
        const char* what;
        const char* folder;  // the program's folder
        bool fileThere;
        bool folderWritable;
        bool fileWritable;
        bool beside;  // else the configuration folder
    } const cases[] = {
        {"a portable copy", "qlarkw", true, true, true, true},
        {"a portable copy in a bin folder", "bin", true, true, true, true},
        {"a build folder without the file", "app", false, true, true, true},
        {"an installed program, even where it could write", "bin", false, true, true, false},
        {"a read-only folder", "app", false, false, true, false},
        {"a read-only folder holding the file", "app", true, false, true, false},
        {"a read-only file", "app", true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir root;
        const QString programDir = root.filePath(QString::fromLatin1(c.folder));
        const QString configDir = root.filePath(QStringLiteral("home/.config/qlarkw"));
        ASSERT_TRUE(QDir().mkpath(programDir));
        const QString beside = QDir(programDir).filePath(QStringLiteral("qlarkw.ini"));
        const QByteArray before = "[Mode]\r\nQ-LARK= 2\r\n";
        if (c.fileThere) {
            QFile file(beside);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        const auto writable = [&](const QString& path) {
            return path == programDir ? c.folderWritable : c.fileWritable;
        };

        const QString path = SettingsPathFor(programDir, configDir, writable);
        EXPECT_EQ(path, c.beside ? beside : QDir(configDir).filePath(QStringLiteral("qlarkw.ini")));
        ASSERT_TRUE(SettingsFile(path).WriteSetting("Mode", "Q-LARK", SettingNumber(1)));
        if (c.beside) continue;
        // Nothing beside the program was made or changed.
        const QStringList left =
            QDir(programDir)
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        EXPECT_EQ(left, c.fileThere ? QStringList{"qlarkw.ini"} : QStringList{});
        if (c.fileThere) {
            QFile file(beside);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), before);
        }
        EXPECT_EQ(SettingsFile(path).ReadSetting("Mode", "Q-LARK"), "1");
    }
}

TEST(SettingsPath, TheDefaultCheckAsksTheFileSystem) {
    QTemporaryDir dir;
    EXPECT_TRUE(IsWritable(dir.path()));
    EXPECT_FALSE(IsWritable(dir.filePath(QStringLiteral("missing/folder"))));
}

#ifdef Q_OS_WIN
// Windows: the file and the folder are asked by trying, which leaves
// nothing behind; the user's folder is the roaming application data one,
// whatever the program's name.
TEST(SettingsPath, WindowsTriesTheFolderAndKeepsTheUsersFileInAppData) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("qlarkw.ini"));
    ASSERT_TRUE(SettingsFile(file).WriteSetting("Mode", "Q-LARK", SettingNumber(1)));
    EXPECT_TRUE(IsWritable(dir.path()));
    EXPECT_TRUE(IsWritable(file));
    {  // Held by a program that shares it with nobody.
        const std::wstring native = QDir::toNativeSeparators(file).toStdWString();
        HANDLE held = ::CreateFileW(native.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(IsWritable(file));
        ::CloseHandle(held);
    }
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              QStringList{"qlarkw.ini"});

    const QString savedName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("qlarkw-cli"));
    const QString appData =
        QFileInfo(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).path();
    EXPECT_EQ(UserSettingsDir(), QDir(appData).filePath(QStringLiteral("qlarkw")));
    EXPECT_TRUE(appData.endsWith(QStringLiteral("/AppData/Roaming"))) << appData.toStdString();
    QCoreApplication::setApplicationName(savedName);
}
#endif

#ifdef Q_OS_LINUX
TEST(SettingsPath, TheConfigFolderIsTheDesktopProgramsAppConfigLocation) {
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString savedName = QCoreApplication::applicationName();
    const QString savedOrganization = QCoreApplication::organizationName();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    QCoreApplication::setApplicationName(QStringLiteral("qlarkw"));
    QCoreApplication::setOrganizationName(QString());

    EXPECT_EQ(UserSettingsDir(), home.filePath(QStringLiteral("qlarkw")));
    EXPECT_EQ(UserSettingsDir(),
              QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    // The same for qlarkw-cli, whose application name differs.
    QCoreApplication::setApplicationName(QStringLiteral("qlarkw-cli"));
    EXPECT_EQ(UserSettingsDir(), home.filePath(QStringLiteral("qlarkw")));

    QCoreApplication::setApplicationName(savedName);
    QCoreApplication::setOrganizationName(savedOrganization);
    if (saved.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}
#endif

TEST(SettingsFile, AFirstWriteMakesTheConfigurationFolder) {
    QTemporaryDir home;
    const SettingsFile settings(
        SettingsPathIn(home.filePath(QStringLiteral("not/there/yet/qlarkw"))));
    ASSERT_TRUE(settings.WriteSetting("Mode", "Q-LARK", SettingNumber(1)));
    EXPECT_EQ(settings.ReadSetting("Mode", "Q-LARK"), "1");
}

TEST(SettingsFile, MissingFileSectionOrKeyReadAsAbsent) {
    IniRig rig;
    EXPECT_EQ(rig.settings.ReadSetting("File", "name"), "???");
    rig.Put("[File]\r\nname=\r\n[Mode]\r\n");
    EXPECT_EQ(rig.settings.ReadSetting("File", "name"), "");  // present but empty
    EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "???");
    EXPECT_EQ(rig.settings.ReadSetting("Config", "word"), "???");
}

TEST(SettingsFile, FindsSectionsAndKeysInAnyCaseAndTrimsValues) {
    IniRig rig;
    rig.Put(
        "; comment\n[file]\nNAME = C:\\robot\\a b.hex  \n[MODE]\nq-lark= 1\n[Config]\nword= 26\n");
    EXPECT_EQ(rig.settings.ReadSetting("File", "name"), "C:\\robot\\a b.hex");
    EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "1");
    EXPECT_EQ(rig.settings.ReadSetting("Config", "word"), "26");
    EXPECT_EQ(rig.settings.ReadSetting("Config", "name"), "???");  // keys belong to their section
}

TEST(SettingsFile, WritesOnlyWhatChangesAndKeepsTheRest) {
    IniRig rig;
    ASSERT_TRUE(rig.settings.WriteSetting("File", "name", "/home/u/robot.hex"));
    ASSERT_TRUE(rig.settings.WriteSetting("Config", "word", SettingNumber(26)));
    ASSERT_TRUE(rig.settings.WriteSetting("Mode", "Q-LARK", SettingNumber(1)));
    EXPECT_EQ(
        rig.Get(),
        "[File]\r\nname=/home/u/robot.hex\r\n[Config]\r\nword= 26\r\n[Mode]\r\nQ-LARK= 1\r\n");

    rig.Put("[Other]\r\nkeep=me\r\n\r\n[MODE]\r\nq-lark= 1\r\nx=y\r\n\r\n[File]\r\nname=a.hex\r\n");
    ASSERT_TRUE(rig.settings.WriteSetting("Mode", "Q-LARK", SettingNumber(2)));
    ASSERT_TRUE(rig.settings.WriteSetting("Mode", "new", "v"));
    EXPECT_EQ(rig.Get(),
              "[Other]\r\nkeep=me\r\n\r\n[MODE]\r\nQ-LARK= "
              "2\r\nx=y\r\nnew=v\r\n\r\n[File]\r\nname=a.hex\r\n");
    EXPECT_EQ(rig.settings.ReadSetting("mode", "q-lark"), "2");
}

TEST(SettingsFile, AFailedWriteLeavesTheFileAsItWas) {
    IniRig rig;
    rig.Put("[Mode]\r\nQ-LARK= 1\r\n");
    // The settings path taken by a folder: nothing can be written there.
    SettingsFile blocked(rig.dir.path());
    EXPECT_FALSE(blocked.WriteSetting("Mode", "Q-LARK", " 2"));
    EXPECT_EQ(rig.Get(), "[Mode]\r\nQ-LARK= 1\r\n");
}

// Found by fuzzing: a HEX file whose name holds a line break was stored as
// two lines, the second a line of its own making ("[Config]", "word=...").
TEST(SettingsFile, AValueWithALineBreakIsNotWrittenAndMakesNoLinesOfItsOwn) {
    IniRig rig;
    rig.Put("[File]\r\nname=/home/u/old.hex\r\n[Config]\r\nword= 26\r\n");
    for (const char* name : {"/tmp/x\n[Config]\nword=abc.hex", "/tmp/x\r.hex", "\n"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(rig.settings.WriteSetting("File", "name", QString::fromLatin1(name)));
        EXPECT_EQ(rig.Get(), "[File]\r\nname=/home/u/old.hex\r\n[Config]\r\nword= 26\r\n");
    }
    EXPECT_FALSE(rig.settings.WriteSetting("File\n[Config]", "name", "a.hex"));
    EXPECT_FALSE(rig.settings.WriteSetting("File", "word=1\r\nname", "a.hex"));
    EXPECT_EQ(rig.settings.ReadSetting("Config", "word"), "26");
}

TEST(SettingsFile, LongValuesAreCutAtTheProfileBuffer) {
    IniRig rig;
    rig.Put("[File]\nname=" + QByteArray(3000, 'x') + "\n");
    EXPECT_EQ(rig.settings.ReadSetting("File", "name").size(), 2599);
}

// A rewrite changes the line it writes and nothing else: the file keeps its
// encoding (UTF-8 with or without a byte order mark, or CP932 when it is not
// UTF-8) and its line ends.
TEST(SettingsFile, ARewriteKeepsTheEncodingAndTheLineEnds) {
    // NEC special and IBM extended characters, and CP932's full-width tilde.
    const QString stored = QString::fromUtf8("C:\\ロボット\\①～ⅰ.hex");
    const QString chosen = QString::fromUtf8("D:\\ロボ\\～①.hex");
    const QString beyondCp932 = QString::fromUtf8("D:\\\U0001F916.hex");
    struct Encoding {
        const char* what;
        QByteArray bom;
        QByteArray stored;
        QByteArray chosen;
        bool holdsAnyText;
    } const encodings[] = {
        {"UTF-8", "", stored.toUtf8(), chosen.toUtf8(), true},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBF", stored.toUtf8(), chosen.toUtf8(), true},
        {"CP932", "", "C:\\\x83\x8D\x83\x7B\x83\x62\x83\x67\\\x87\x40\x81\x60\xFA\x40.hex",
         "D:\\\x83\x8D\x83\x7B\\\x81\x60\x87\x40.hex", false},
    };
    for (const Encoding& e : encodings) {
        for (const QByteArray eol : {"\r\n", "\n"}) {
            SCOPED_TRACE(std::string(e.what) + (eol.size() == 2 ? ", CR LF" : ", LF"));
            IniRig rig;
            auto file = [&](const QByteArray& name, const QByteArray& board) {
                return e.bom + "[File]" + eol + "name=" + name + eol + "[Mode]" + eol +
                       "Q-LARK= " + board + eol;
            };
            rig.Put(file(e.stored, "1"));
            EXPECT_EQ(rig.settings.ReadSetting("File", "name"), stored);
            ASSERT_TRUE(rig.settings.WriteSetting("Mode", "Q-LARK", " 2"));
            EXPECT_EQ(rig.Get(), file(e.stored, "2"));
            ASSERT_TRUE(rig.settings.WriteSetting("File", "name", chosen));
            ASSERT_TRUE(rig.settings.WriteSetting("Config", "word", " 26"));
            const QByteArray written = file(e.chosen, "2") + "[Config]" + eol + "word= 26" + eol;
            EXPECT_EQ(rig.Get(), written);
            EXPECT_EQ(rig.settings.ReadSetting("File", "name"), chosen);
            // A name the file's encoding cannot hold is not written at all.
            EXPECT_EQ(rig.settings.WriteSetting("File", "name", beyondCp932), e.holdsAnyText);
            EXPECT_EQ(rig.settings.ReadSetting("File", "name"),
                      e.holdsAnyText ? beyondCp932 : chosen);
        }
    }
}

TEST(SettingsNumbers, WrittenWithALeadingBlankAndReadBackWithinSixteenBits) {
    EXPECT_EQ(SettingNumber(26), " 26");
    EXPECT_EQ(SettingNumber(0), " 0");
    EXPECT_EQ(SettingNumber(-7), "-7");
    EXPECT_EQ(ParseSettingNumber(" 26"), 26);
    EXPECT_EQ(ParseSettingNumber("-32768"), -32768);
    for (const char* bad : {"", "abc", "32768", "1.5", "0x1A"}) {
        EXPECT_EQ(ParseSettingNumber(QString::fromLatin1(bad)), std::nullopt) << bad;
    }
}

TEST(SettingsFile, AByteOrderMarkDoesNotHideTheFirstSection) {
    IniRig rig;
    rig.Put("\xEF\xBB\xBF[Mode]\r\nQ-LARK= 1\r\n");
    EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "1");
    EXPECT_TRUE(rig.settings.WriteSetting("Mode", "Q-LARK", " 2"));
    EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "2");
}

#ifdef Q_OS_UNIX
TEST(SettingsFile, AFileThatCannotBeReadGivesTheDefaultsAndIsNeverReplaced) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> make;
        const char* why;
    } const cases[] = {
        {"a named pipe", [](const QString& path) { ::mkfifo(QFile::encodeName(path), 0600); },
         "not a regular file"},
        {"a file far too large",
         [](const QString& path) {
             QFile file(path);
             if (file.open(QIODevice::WriteOnly)) {
                 file.write("[Mode]\r\nQ-LARK= 1\r\n");
                 file.resize(2 * 1024 * 1024);
             }
         },
         "larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniRig rig;
        EXPECT_EQ(rig.settings.ReadProblem(), QString());  // not there: nothing wrong
        c.make(rig.settings.path());
        const QFileInfo before(rig.settings.path());
        EXPECT_EQ(rig.settings.ReadProblem(), QLatin1String(c.why));
        EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "???");
        EXPECT_FALSE(rig.settings.WriteSetting("Mode", "Q-LARK", " 2"));
        const QFileInfo after(rig.settings.path());
        EXPECT_EQ(after.size(), before.size());
        EXPECT_EQ(after.isFile(), before.isFile());
    }
}
#endif
