// Start-up, command line and shut-down of the main window with real
// settings files in a temporary program directory.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLabel>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include "GuiRig.h"
#include "eeprom/EepromDataFile.h"
#include "resources/Texts.h"

namespace {

using LoadResult = FormMain::LoadResult;

const QString kTitle = QString::fromUtf8("Q-LARK USBライタ");

QString LabelOf(FormMain& form) {
    return Find<QLabel>(form, "HexFileName")->text();
}

TEST(Startup, FirstStartWithoutSettingsFile) {
    GuiRig rig;
    auto form = rig.Start();
    EXPECT_EQ(rig.loadResult, LoadResult::Waiting);
    EXPECT_EQ(LabelOf(*form), QString());
    EXPECT_EQ(rig.sim.state.BoardMode, 2);
    EXPECT_TRUE(Find<QAction>(*form, "munQLARK2")->isChecked());
    EXPECT_FALSE(Find<QAction>(*form, "munQLARK")->isChecked());
    EXPECT_FALSE(Find<QLabel>(*form, "Image2")->isHidden());
    EXPECT_TRUE(Find<QLabel>(*form, "Image1")->isHidden());
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Q-LARK USBライタ for Q-LARK2"));
    EXPECT_EQ(rig.sim.state.ConfigWord, 26);
    EXPECT_EQ(rig.sim.state.VersionText, QStringLiteral("1.08 2005.5"));
    EXPECT_EQ(rig.sim.state.StartMode, 0);
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
    EXPECT_TRUE(rig.sim.host.messages.empty());
    // The start-up check: 'S', 500 ms, 'S', 'C'; no handshake.
    EXPECT_EQ(rig.sim.Wire(), QStringList({"w 53", "r 73", "w 53", "r 73", "w 43"}));
    EXPECT_EQ(rig.Settings(), QByteArray("<none>"));  // nothing written before shut-down
    // The first handshake selects Q-LARK2.
    rig.sim.trace.clear();
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdOK"); };
    form->StartErase();
    EXPECT_EQ(rig.sim.Wire().front(), QStringLiteral("w 42"));
}

TEST(Startup, SettingsAreRestored) {
    GuiRig rig;
    rig.WriteSettings(
        "[File]\r\nname=C:\\robot\\go.hex\r\n[Config]\r\nword= 7\r\n[Mode]\r\nQ-LARK= 1\r\n");
    auto form = rig.Start();
    EXPECT_EQ(LabelOf(*form), QStringLiteral("C:\\robot\\go.hex"));
    EXPECT_EQ(rig.commonDialog.FileName, QStringLiteral("C:\\robot\\go.hex"));
    EXPECT_EQ(rig.sim.state.ConfigWord, 7);
    EXPECT_EQ(rig.sim.state.BoardMode, 1);
    EXPECT_TRUE(Find<QAction>(*form, "munQLARK")->isChecked());
    EXPECT_FALSE(Find<QLabel>(*form, "Image1")->isHidden());
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Q-LARK USBライタ for Q-LARK"));
    // Browse starts from the restored file.
    form->Browse();
    EXPECT_EQ(rig.desktop.openCalls, QStringList({QStringLiteral("C:\\robot\\go.hex")}));
}

TEST(Startup, BoardValuesOtherThanOneSelectQLark2) {
    for (const char* value : {"2", "3", "abc", "01", ""}) {
        GuiRig rig;
        rig.WriteSettings(QByteArray("[Mode]\r\nQ-LARK=") + value + "\r\n");
        auto form = rig.Start();
        EXPECT_EQ(rig.sim.state.BoardMode, 2) << value;
        EXPECT_TRUE(Find<QAction>(*form, "munQLARK2")->isChecked()) << value;
    }
}

TEST(Startup, PresentButEmptyNameSetsAnEmptyFileName) {
    GuiRig rig;
    rig.commonDialog.FileName = QStringLiteral("stale");
    rig.WriteSettings("[File]\r\nname=\r\n");
    auto form = rig.Start();
    EXPECT_EQ(LabelOf(*form), QString());
    EXPECT_EQ(rig.commonDialog.FileName, QString());
}

TEST(Shutdown, ExactFileAfterARunWithBoardOne) {
    GuiRig rig;
    auto form = rig.Start();
    Find<QAction>(*form, "munQLARK")->trigger();
    Click(*form, "ExitCommand");
    EXPECT_EQ(rig.Settings(),
              QByteArray("[File]\r\nname=\r\n[Config]\r\nword= 26\r\n[Mode]\r\nQ-LARK= 1\r\n"));
    EXPECT_EQ(rig.quitCount, 1);
}

TEST(Shutdown, RoundTripThroughTheSettingsFile) {
    GuiRig rig;
    const QString path = rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex);
    {
        auto form = rig.Start();
        form->SetHexFileName(path);
        rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdOK"); };
        rig.runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { Click(d, "Command1"); };
        form->StartWrite();  // takes 25 from the file
        Find<QAction>(*form, "menu_file_unload")->trigger();
    }
    EXPECT_EQ(rig.Settings(), QByteArray("[File]\r\nname=") + path.toLocal8Bit() +
                                  "\r\n[Config]\r\nword= 25\r\n[Mode]\r\nQ-LARK= 2\r\n");
    GuiRig next;
    next.WriteSettings(rig.Settings());
    auto form = next.Start();
    EXPECT_EQ(LabelOf(*form), path);
    EXPECT_EQ(next.sim.state.ConfigWord, 25);
    EXPECT_EQ(next.sim.state.BoardMode, 2);
}

TEST(Shutdown, OtherEntriesOfTheFileAreKept) {
    GuiRig rig;
    rig.WriteSettings("; comment\r\n[Other]\r\nkey=value\r\n[Mode]\r\nQ-LARK= 2\r\n");
    auto form = rig.Start();
    form->close();
    const QByteArray after = rig.Settings();
    EXPECT_TRUE(after.startsWith("; comment\r\n[Other]\r\nkey=value\r\n[Mode]\r\nQ-LARK= 2\r\n"))
        << after.constData();
    EXPECT_TRUE(after.contains("[File]\r\nname=\r\n"));
}

#ifdef Q_OS_UNIX
// Settings that cannot be stored: one message as the program closes, and it
// still closes.
TEST(Shutdown, SettingsThatCannotBeStoredAreReportedOnceAndTheProgramStillEnds) {
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    for (const bool pipe : {true, false}) {
        SCOPED_TRACE(pipe ? "a named pipe" : "a folder that cannot be made");
        GuiRig rig;
        const QDir dir(rig.dir.path());
        QString path = rig.SettingsPath();
        if (pipe) {
            // Not read (the defaults), and never written.
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else {
            // An installed program's settings folder, here under a file.
            dir.mkdir(QStringLiteral("bin"));
            rig.context->programDir = dir.filePath(QStringLiteral("bin"));
            rig.WriteFile(QStringLiteral("home"), "a file");
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
            path = QDir::toNativeSeparators(dir.filePath(QStringLiteral("home/qlarkw/qlarkw.ini")));
        }
        auto form = rig.Start();
        EXPECT_EQ(rig.sim.state.BoardMode, 2);
        Click(*form, "ExitCommand");
        ASSERT_EQ(rig.MessageTexts(), QStringList{texts::Text(texts::kSettingsNotSaved) +
                                                  QStringLiteral("\r\n") + path});
        EXPECT_EQ(rig.sim.host.messages[0].caption, texts::Text(texts::kCaptionFileError));
        EXPECT_EQ(rig.quitCount, 1);
    }
    qputenv("XDG_CONFIG_HOME", savedConfigHome);
}
#endif

TEST(CommandLineStart, HexFileWritesAndEndsWithoutTouchingTheSettings) {
    GuiRig rig;
    const QByteArray before =
        "[File]\r\nname=C:\\old.hex\r\n[Config]\r\nword= 7\r\n[Mode]\r\nQ-LARK= 2\r\n";
    rig.WriteSettings(before);
    const QString path = rig.WriteFile(QStringLiteral("ROBOT.Hex"), kTwoWordHex);
    QString question;
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [&](QDialog& d) {
        question = Find<QLabel>(d, "Label1")->text();
        Click(d, "cmdOK");
    };
    rig.runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { Click(d, "Command1"); };
    auto form = rig.Start(path);
    EXPECT_EQ(rig.loadResult, LoadResult::Ended);
    EXPECT_EQ(rig.sim.state.StartMode, 2);
    EXPECT_EQ(LabelOf(*form), path);
    EXPECT_TRUE(question.endsWith(u'\n' + path));
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
    EXPECT_EQ(rig.sim.device->firmware().chip().program[0], 0x3001);
    EXPECT_FALSE(form->isVisible());
    form.reset();
    EXPECT_EQ(rig.Settings(), before);
    EXPECT_EQ(rig.quitCount, 0);
}

TEST(CommandLineStart, HexStartCancelledStillEndsTheProgram) {
    GuiRig rig;
    const QString path = rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex);
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdCancel"); };
    auto form = rig.Start(path);
    EXPECT_EQ(rig.loadResult, LoadResult::Ended);
    EXPECT_EQ(rig.Settings(), QByteArray("<none>"));
}

TEST(CommandLineStart, RefusedArgumentsEndBeforeAnythingIsReadOrWritten) {
    GuiRig files;
    const QString existing = files.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex);
    struct Case {
        QString line;
        const char* message;
    };
    const Case cases[] = {
        {u'"' + existing + u'"', "引数の指定が違います"},
        {existing + u' ', "引数の指定が違います"},
        {QStringLiteral("data.txt"), "引数の指定が違います"},
        {existing + QStringLiteral(".missing.hex"), "指定ファイルを呼出しません。"},
    };
    for (const Case& c : cases) {
        GuiRig rig;
        rig.WriteSettings("[Mode]\r\nQ-LARK= 1\r\n");
        auto form = rig.Start(c.line);
        EXPECT_EQ(rig.loadResult, LoadResult::Ended) << c.line.toStdString();
        ASSERT_EQ(rig.sim.host.messages.size(), 1u) << c.line.toStdString();
        EXPECT_EQ(rig.sim.host.messages[0].text, QString::fromUtf8(c.message));
        EXPECT_EQ(rig.sim.host.messages[0].caption, kTitle);
        EXPECT_EQ(rig.sim.host.messages[0].icon, MsgIcon::Critical);
        EXPECT_TRUE(rig.sim.trace.isEmpty());   // no start-up check
        EXPECT_EQ(rig.sim.state.BoardMode, 2);  // the settings were not read
        form.reset();
        EXPECT_EQ(rig.Settings(), QByteArray("[Mode]\r\nQ-LARK= 1\r\n"));
    }
}

TEST(CommandLineStart, EepromStartKeepsItsArgumentAndStoresOnlyTheBoard) {
    GuiRig rig;
    const QByteArray before =
        "[File]\r\nname=C:\\old.hex\r\n[Config]\r\nword= 7\r\n[Mode]\r\nQ-LARK= 1\r\n";
    rig.WriteSettings(before);
    auto form = rig.Start(QStringLiteral("/F data.txt"));
    EXPECT_EQ(rig.loadResult, LoadResult::EepromWriteForm);
    EXPECT_EQ(rig.sim.state.StartMode, 1);
    EXPECT_EQ(rig.sim.state.StartArgument, QStringLiteral(" data.txt"));
    EXPECT_TRUE(rig.sim.host.messages.empty());
    QWidget* writeForm = VisibleWindow("frmEEPROMwrite");
    ASSERT_NE(writeForm, nullptr);
    writeForm->close();  // before OK: the program ends, the Writer untouched
    EXPECT_EQ(rig.quitCount, 1);
    EXPECT_EQ(rig.Settings(), before);  // the board is written back as it was
    GuiRig other;
    other.WriteSettings("[File]\r\nname=C:\\old.hex\r\n");
    auto second = other.Start(QStringLiteral("/fdata.txt"));
    EXPECT_EQ(other.sim.state.StartArgument, QStringLiteral("data.txt"));
    VisibleWindow("frmEEPROMwrite")->close();
    EXPECT_EQ(other.Settings(),
              QByteArray("[File]\r\nname=C:\\old.hex\r\n[Mode]\r\nQ-LARK= 2\r\n"));
}

// The "/F" start with a data file of 64 bytes, the main window shown before
// its start-up (so that hiding it shows).
struct EepromStart : GuiRig {
    explicit EepromStart(const QString& switchText = QStringLiteral("/F")) {
        std::array<uint8_t, 64> bytes{};
        for (int a = 0; a < 64; ++a) bytes[a] = static_cast<uint8_t>(255 - a * 2);
        WriteSettings(kSettings);
        context->commandLine =
            switchText + WriteFile(QStringLiteral("data.txt"), eepromfile::Format(bytes));
        form = std::make_unique<FormMain>(*context);
        form->show();
        loadResult = form->FormLoad();
        sim.trace.clear();
        writeForm = VisibleWindow("frmEEPROMwrite");
    }
    static constexpr const char* kSettings =
        "[File]\r\nname=C:\\old.hex\r\n[Config]\r\nword= 7\r\n[Mode]\r\nQ-LARK= 1\r\n";
    std::unique_ptr<FormMain> form;
    QWidget* writeForm = nullptr;
};

TEST(CommandLineStart, EepromStartWritesTheFileAndEndsTheProgram) {
    EepromStart rig;
    EXPECT_EQ(rig.loadResult, LoadResult::EepromWriteForm);
    EXPECT_FALSE(rig.form->isVisible());  // hidden as the form loads
    ASSERT_NE(rig.writeForm, nullptr);
    EXPECT_EQ(Find<QLabel>(*rig.writeForm, "Label1")->text(),
              QString::fromUtf8("OKをクリックするとデータを書込みます"));
    QStringList progress;
    rig.host.onEvents = [&]() { progress << Find<QLabel>(*rig.writeForm, "Label1")->text(); };
    Click(*rig.writeForm, "Command1");
    // Once in the handshake, then before each byte.
    ASSERT_EQ(progress.size(), 1 + 64);
    EXPECT_EQ(progress[1], QString::fromUtf8("書込み中 アドレス　0h"));
    EXPECT_EQ(progress[64], QString::fromUtf8("書込み中 アドレス　3Fh"));
    EXPECT_EQ(rig.sim.Wire().mid(0, 6),
              QStringList({"w 41", "r 61", "w 4D", "r 6D", "w 81 FF", "r 6D"}));
    EXPECT_EQ(rig.sim.device->firmware().chip().eeprom[63], 255 - 63 * 2);
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
    // The form has closed, and with it the main window and the program;
    // only the board was stored.
    EXPECT_EQ(VisibleWindow("frmEEPROMwrite"), nullptr);
    EXPECT_EQ(rig.quitCount, 1);
    EXPECT_EQ(rig.Settings(), QByteArray(EepromStart::kSettings));
}

TEST(CommandLineStart, EepromStartFindsTheFileWithoutTheBlankAfterTheSwitch) {
    EepromStart rig(QStringLiteral("/F  "));
    EXPECT_TRUE(rig.sim.state.StartArgument.startsWith(QStringLiteral("  ")));
    ASSERT_NE(rig.writeForm, nullptr);
    Click(*rig.writeForm, "Command1");
    EXPECT_EQ(rig.sim.Wire().filter(QStringLiteral("w 8")).size(), 64);
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
}

TEST(CommandLineStart, EepromStartCannotBeClosedWhileTheTransferRuns) {
    EepromStart rig;
    ASSERT_NE(rig.writeForm, nullptr);
    int events = 0;
    bool stayedOpen = false;
    rig.host.onEvents = [&]() {
        if (++events != 10) return;
        rig.writeForm->close();
        stayedOpen = rig.writeForm->isVisible();
    };
    Click(*rig.writeForm, "Command1");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(rig.sim.Wire().filter(QStringLiteral("w 8")).size(), 64);
    EXPECT_EQ(rig.quitCount, 1);  // once, when the transfer had ended
    EXPECT_EQ(VisibleWindow("frmEEPROMwrite"), nullptr);
}

TEST(Startup, SecondInstanceIsRefused) {
    GuiRig rig;
    auto first = rig.Start();
    ASSERT_EQ(rig.loadResult, LoadResult::Waiting);
    GuiRig second;
    second.context->instanceLockPath = rig.context->instanceLockPath;
    auto other = second.Start();
    EXPECT_EQ(second.loadResult, LoadResult::Ended);
    EXPECT_EQ(second.MessageTexts(),
              QStringList({QString::fromUtf8("すでにQ-LARK USBライタが実行されています")}));
    EXPECT_TRUE(second.sim.trace.isEmpty());
    // The first goes on as before.
    EXPECT_TRUE(rig.sim.host.messages.empty());
    first.reset();
    GuiRig third;
    third.context->instanceLockPath = rig.context->instanceLockPath;
    third.Start();
    EXPECT_EQ(third.loadResult, LoadResult::Waiting);
}

#ifndef Q_OS_WIN
// A pipe planted at the lock's place: the program starts at once, without
// the check, and does not claim to run already.
TEST(Startup, ALockThatCannotBeMadeSafelyDoesNotStopTheStart) {
    GuiRig rig;
    ASSERT_EQ(::mkfifo(QFile::encodeName(rig.context->instanceLockPath).constData(), 0600), 0);
    auto form = rig.Start();
    EXPECT_EQ(rig.loadResult, LoadResult::Waiting);
    EXPECT_TRUE(rig.sim.host.messages.empty());
}
#endif

TEST(Startup, BadConfigurationWordEndsWithTheStartupMessageAndStoresNothing) {
    GuiRig rig;
    const QByteArray before = "[Config]\r\nword=abc\r\n";
    rig.WriteSettings(before);
    auto form = rig.Start();
    EXPECT_EQ(rig.loadResult, LoadResult::Ended);
    EXPECT_EQ(rig.MessageTexts(),
              QStringList({QString::fromUtf8("Q-LARK USBライタを実行できませんでした")}));
    form.reset();
    EXPECT_EQ(rig.Settings(), before);
}

TEST(Startup, UnpluggedWriterShowsOneMessageAndStartUpGoesOn) {
    FaultPlan faults;
    faults.openFails = true;
    GuiRig rig(faults);
    auto form = rig.Start();
    EXPECT_EQ(rig.loadResult, LoadResult::Waiting);
    EXPECT_EQ(rig.MessageTexts(),
              QStringList({QString::fromUtf8("USBライタの接続を確認してください")}));
    EXPECT_EQ(rig.sim.state.StartupCheckState, 2);
    EXPECT_TRUE(rig.runner.shown.isEmpty());
}

TEST(Startup, SilentWriterTimesOutAfterTimer1AndStartUpGoesOn) {
    FaultPlan faults;
    faults.silent = true;
    GuiRig rig(faults);
    bool noticeSeen = false;
    rig.host.onEvents = [&]() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->objectName() == u"frmReadWrite") {
                noticeSeen = Find<QLabel>(*w, "Label1")->text() ==
                                 QString::fromUtf8("Q-LARK USBライタと通信中...") &&
                             !Find<QPushButton>(*w, "cmdOK")->isEnabled() &&
                             !Find<QPushButton>(*w, "cmdCancel")->isEnabled();
            }
        }
    };
    auto form = rig.Start();
    rig.host.onEvents = nullptr;
    EXPECT_TRUE(noticeSeen);
    EXPECT_EQ(rig.loadResult, LoadResult::Waiting);
    EXPECT_EQ(rig.MessageTexts(),
              QStringList({QString::fromUtf8("USBライタとの通信に失敗しました")}));
    EXPECT_GE(rig.sim.host.messages[0].atMs, 15000);
    EXPECT_LT(rig.sim.host.messages[0].atMs, 15000 + 5300);
    EXPECT_EQ(Find<QObject>(*form, "Timer1") != nullptr, true);
    EXPECT_EQ(rig.sim.state.StartupCheckState, 0);
}

TEST(Startup, ClosingTheCheckNoticeEndsTheProgramWithoutStoringSettings) {
    FaultPlan faults;
    faults.silent = true;
    GuiRig rig(faults);
    rig.WriteSettings("[Mode]\r\nQ-LARK= 1\r\n");
    int events = 0;
    rig.host.onEvents = [&]() {
        if (++events != 3) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->objectName() == u"frmReadWrite") w->close();
        }
    };
    auto form = rig.Start();
    EXPECT_EQ(rig.loadResult, LoadResult::Ended);
    EXPECT_TRUE(rig.sim.host.messages.empty());
    EXPECT_EQ(rig.sim.device->closeCount(), 1);
    form.reset();
    EXPECT_EQ(rig.Settings(), QByteArray("[Mode]\r\nQ-LARK= 1\r\n"));
}

}  // namespace
