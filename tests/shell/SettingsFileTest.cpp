#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>

#include "TestHost.h"
#include "shell/SettingsFile.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
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

TEST(SettingsFile, LongValuesAreCutAtTheProfileBuffer) {
    IniRig rig;
    rig.Put("[File]\nname=" + QByteArray(3000, 'x') + "\n");
    EXPECT_EQ(rig.settings.ReadSetting("File", "name").size(), 2599);
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
    } const cases[] = {
        {"a named pipe", [](const QString& path) { ::mkfifo(QFile::encodeName(path), 0600); }},
        {"a file far too large",
         [](const QString& path) {
             QFile file(path);
             if (file.open(QIODevice::WriteOnly)) {
                 file.write("[Mode]\r\nQ-LARK= 1\r\n");
                 file.resize(64 * 1024 * 1024);
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IniRig rig;
        c.make(rig.settings.path());
        const QFileInfo before(rig.settings.path());
        EXPECT_EQ(rig.settings.ReadSetting("Mode", "Q-LARK"), "???");
        EXPECT_FALSE(rig.settings.WriteSetting("Mode", "Q-LARK", " 2"));
        const QFileInfo after(rig.settings.path());
        EXPECT_EQ(after.size(), before.size());
        EXPECT_EQ(after.isFile(), before.isFile());
    }
}
#endif
