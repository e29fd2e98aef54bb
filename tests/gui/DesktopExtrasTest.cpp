// The main window's extras on the simulated Writer: verify after write,
// recent files, the file summary, help and the manual, the permission
// message, and what tells the controls apart.
#include <gtest/gtest.h>
#include <QAction>
#include <QLabel>
#include <QMenu>

#include "GuiRig.h"
#include "link/ForwardingDevice.h"
#include "resources/Texts.h"

namespace {

using texts::Text;

struct ExtrasRig : GuiRig {
    ExtrasRig() { form = Start(); }
    void Restart() {
        form.reset();
        form = Start();
    }
    QAction* Action(const char* name) { return Find<QAction>(*form, name); }
    QString Summary() { return Find<QLabel>(*form, "FileSummary")->text(); }
    // Write from the button, OK in both dialogs.
    void Write(const QString& path) {
        form->SetHexFileName(path);
        runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdOK"); };
        runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { Click(d, "Command1"); };
        sim.host.messages.clear();
        sim.trace.clear();
        Click(*form, "WriteCommand");
    }
    QStringList RecentItems() {
        QStringList items;
        for (QAction* a : Find<QMenu>(*form, "menu_file_recent")->actions()) items << a->toolTip();
        return items;
    }
    std::unique_ptr<FormMain> form;
};

TEST(VerifyAfterWrite, ReadsTheChipBackAndTellsTheFirstDifference) {
    struct Case {
        const char* what;
        bool corrupt;
        QString message;
        MsgIcon icon;
    } const cases[] = {
        {"a good chip", false,
         Text("書込みが終了しました\r\n読出して検証しました。書込んだ内容と一致しています。"),
         MsgIcon::Information},
        {"a word that did not take", true,
         Text("検証エラー：PICの内容がファイルと違います\r\n"
              "最初の違い：アドレス 0001h　ファイル 280Ah　PIC 3FFFh\r\n"
              "もう一度操作してください。"),
         MsgIcon::Critical},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExtrasRig rig;
        rig.Action("menu_memory_verify")->trigger();
        QString verifyLine;
        rig.host.onEvents = [&]() {
            // The word goes bad once the write has ended, before the read-back.
            if (c.corrupt && rig.sim.Wire().contains(QStringLiteral("w 45")))
                rig.sim.device->firmware().chip().program[1] = 0x3FFF;
            QWidget* dialog = VisibleWindow("frmReadWrite");
            const QString label = dialog ? Find<QLabel>(*dialog, "Label1")->text() : QString();
            if (verifyLine.isEmpty() && label.startsWith(Text(texts::kVerifying)))
                verifyLine = label;
        };
        rig.Write(rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex));
        EXPECT_TRUE(verifyLine.contains(u'\n')) << verifyLine.toStdString();
        ASSERT_EQ(rig.sim.host.messages.size(), 1u);
        EXPECT_EQ(rig.sim.host.messages[0].text, c.message);
        EXPECT_EQ(rig.sim.host.messages[0].icon, c.icon);
        // The read-back follows the write's end.
        const QStringList wire = rig.sim.Wire();
        EXPECT_EQ(wire.mid(wire.indexOf(QStringLiteral("w 45")) + 1, 4),
                  QStringList({"w 42", "r 61", "w 52", "r 72"}));
    }
}

// kTwoWordHex with two EEPROM bytes (0x11 at 0, 0x22 at 1) as an assembler
// writes `de` data.
const QByteArray kHexWithEeprom =
    ":0400000001300A2899\r\n:02400E00F93F78\r\n:044200001100220087\r\n:00000001FF\r\n";

TEST(HexEeprom, WrittenAfterTheProgramWhenChosenElseTheMessageSaysSo) {
    const QString done = Text("書込みが終了しました\r\n");
    struct Case {
        const char* what;
        bool eeprom, verify;
        QString message;
        uint8_t byte0;
    } const cases[] = {
        {"off", false, false,
         done + Text("EEPROMデータ 2 バイトは書込んでいません（メモリメニューで選べます）。"),
         0xFF},
        {"on", true, false, done + Text("EEPROMデータ 2 バイトも書込みました。"), 0x11},
        {"on and verified", true, true,
         done + Text(texts::kVerifyDone) + Text("\r\nEEPROMデータ 2 バイトも書込みました。"), 0x11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ExtrasRig rig;
        if (c.eeprom) rig.Action("menu_memory_eeprom")->trigger();
        if (c.verify) rig.Action("menu_memory_verify")->trigger();
        rig.Write(rig.WriteFile(QStringLiteral("de.hex"), kHexWithEeprom));
        EXPECT_EQ(rig.MessageTexts(), QStringList({c.message}));
        EXPECT_EQ(rig.sim.host.messages[0].icon, MsgIcon::Information);
        const auto& eeprom = rig.sim.device->firmware().chip().eeprom;
        EXPECT_EQ(eeprom[0], c.byte0);
        EXPECT_EQ(eeprom[1], c.eeprom ? 0x22 : 0xFF);
        EXPECT_EQ(eeprom[2], 0xFF);  // not the file's: left as it was
        EXPECT_EQ(rig.sim.device->firmware().chip().program[1], 0x280A);
    }
}

TEST(MemoryMenuOptions, AreOffAtFirstAndRememberedInTheirOwnSection) {
    ExtrasRig rig;
    EXPECT_FALSE(rig.Action("menu_memory_verify")->isChecked());
    EXPECT_FALSE(rig.Action("menu_memory_eeprom")->isChecked());
    rig.Action("menu_memory_verify")->trigger();
    EXPECT_TRUE(rig.Settings().contains("[Desktop]\r\nverify=1\r\n")) << rig.Settings().data();
    rig.Restart();
    EXPECT_TRUE(rig.Action("menu_memory_verify")->isChecked());
    EXPECT_FALSE(rig.Action("menu_memory_eeprom")->isChecked());
    // Without the option the write is as it always was: one message.
    rig.Action("menu_memory_verify")->trigger();
    rig.Write(rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex));
    EXPECT_EQ(rig.MessageTexts(), QStringList({Text("書込みが終了しました")}));
    EXPECT_FALSE(rig.sim.Wire().contains(QStringLiteral("w 52")));
}

TEST(RecentFiles, NewestFirstAtMostEightRememberedAndAGoneOneIsTakenOff) {
    ExtrasRig rig;
    EXPECT_FALSE(Find<QMenu>(*rig.form, "menu_file_recent")->isEnabled());
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        paths.prepend(rig.WriteFile(QStringLiteral("p%1.hex").arg(i), kTwoWordHex));
        rig.desktop.openAnswer = paths.front();
        Click(*rig.form, "FileNameRef");
    }
    rig.desktop.openAnswer = paths[5];  // chosen again: to the front, once
    Click(*rig.form, "FileNameRef");
    const QStringList expected = {paths[5], paths[0], paths[1], paths[2],
                                  paths[3], paths[4], paths[6], paths[7]};
    EXPECT_EQ(rig.RecentItems(), expected);
    rig.Restart();
    EXPECT_EQ(rig.RecentItems(), expected);

    QFile::remove(paths[2]);
    Find<QAction>(*rig.form, "menu_file_recent4")->trigger();
    EXPECT_EQ(rig.MessageTexts(),
              QStringList({Text(texts::kRecentFileGone) + Text("\r\n") + paths[2]}));
    EXPECT_TRUE(rig.form->HexFileName().isEmpty());  // unchanged
    QStringList rest = expected;
    rest.removeAll(paths[2]);
    EXPECT_EQ(rig.RecentItems(), rest);
    Find<QAction>(*rig.form, "menu_file_recent2")->trigger();
    EXPECT_EQ(rig.form->HexFileName(), paths[0]);
    EXPECT_EQ(rig.RecentItems().front(), paths[0]);
    rig.Restart();
    EXPECT_EQ(rig.RecentItems().size(), 7);
}

TEST(FileSummary, TellsWhatTheFileHoldsOrWhereItIsBroken) {
    struct Case {
        const char* what;
        QByteArray file;
        const char* summary;
        bool red;
    } const cases[] = {
        {"two words and a configuration word", kTwoWordHex,
         "2 ワード　CONFIG 3FF9　EEPROM 0 バイト　チェックサム正常", false},
        {"EEPROM data", kHexWithEeprom, "2 ワード　CONFIG 3FF9　EEPROM 2 バイト　チェックサム正常",
         false},
        {"no configuration word", ":0400000001300A2899\r\n:00000001FF\r\n",
         "2 ワード　CONFIG なし　EEPROM 0 バイト　チェックサム正常", false},
        {"a wrong checksum", ":0400000001300A2898\r\n:00000001FF\r\n",
         "このHEXファイルは書込めません：1行目 チェックサムが合いません", true},
        {"a line without a colon", ":0400000001300A2899\r\n0400\r\n",
         "このHEXファイルは書込めません：2行目 「:」で始まっていません", true},
        {"a record cut short", ":0400000001300A\r\n",
         "このHEXファイルは書込めません：1行目 レコードが途中で切れています", true},
        {"records out of order", ":020002000130CB\r\n:020000000130CD\r\n",
         "このHEXファイルは書込めません：2行目 アドレスが前のレコードより小さい", true},
        {"an empty file", "", "このHEXファイルは書込めません：1行目 レコードがありません", true},
    };
    ExtrasRig rig;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        rig.form->SetHexFileName(rig.WriteFile(QStringLiteral("f.hex"), c.file));
        EXPECT_EQ(rig.Summary(), Text(c.summary));
        const QColor color =
            Find<QLabel>(*rig.form, "FileSummary")->palette().color(QPalette::WindowText);
        EXPECT_EQ(color == QColor(0xB0, 0, 0), c.red);
    }
    rig.form->SetHexFileName(QDir(rig.dir.path()).filePath(QStringLiteral("gone.hex")));
    EXPECT_EQ(rig.Summary(), Text("このHEXファイルは見つかりません"));
    rig.form->SetHexFileName(QString());
    EXPECT_TRUE(rig.Summary().isEmpty());
}

TEST(Help, TheHelpFileBesideTheProgramElseTheManualInTheBrowser) {
    struct Case {
        const char* what;
        QStringList files;  // made under the program directory
        QString helpCall, manualCall;
    } const cases[] = {
        {"nothing", {}, {}, {}},
        {"the help file", {"t5813.hlp", "manual/index.html"}, "t5813.hlp", {}},
        {"the manual beside the program", {"manual/index.html"}, {}, "manual/index.html"},
        {"the package's manual",
         {"../share/doc/qlarkw/manual/index.html"},
         {},
         "../share/doc/qlarkw/manual/index.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GuiRig rig;
        const QDir programDir(QDir(rig.dir.path()).filePath(QStringLiteral("bin")));
        ASSERT_TRUE(programDir.mkpath(QStringLiteral(".")));
        rig.context->programDir = programDir.path();
        for (const QString& file : c.files) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(programDir.filePath(file)).path()));
            QFile f(programDir.filePath(file));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        auto form = rig.Start();
        rig.sim.host.messages.clear();
        Find<QAction>(*form, "munHelpFile")->trigger();
        auto called = [&](const QString& file) {
            return file.isEmpty() ? QStringList()
                                  : QStringList(QDir::cleanPath(programDir.filePath(file)));
        };
        QStringList helpCalls;
        for (const QString& path : rig.desktop.helpCalls)
            helpCalls << QDir::fromNativeSeparators(path);
        EXPECT_EQ(helpCalls, called(c.helpCall));
        EXPECT_EQ(rig.desktop.manualCalls, called(c.manualCall));
        EXPECT_EQ(rig.MessageTexts(), c.files.isEmpty()
                                          ? QStringList({Text("ヘルプファイルを開けませんでした")})
                                          : QStringList());
    }
}

TEST(MainWindowLabels, ShowButtonsAreToldApartAndALongPathKeepsItsFileName) {
    ExtrasRig rig;
    auto* data = Find<QPushButton>(*rig.form, "EPROMCommand1");
    auto* config = Find<QPushButton>(*rig.form, "ConfigCommand");
    EXPECT_EQ(data->text(), QStringLiteral("Show"));
    EXPECT_EQ(config->text(), QStringLiteral("Show"));
    EXPECT_EQ(data->accessibleName(), Text("データメモリを表示"));
    EXPECT_EQ(config->accessibleName(), Text("CONFIGを表示"));

    QString path = QStringLiteral("/home/student");
    for (int i = 0; i < 8; ++i) path += QStringLiteral("/projects_folder_%1").arg(i);
    path += QStringLiteral("/line_tracer.hex");
    rig.form->SetHexFileName(path);
    auto* label = Find<QLabel>(*rig.form, "HexFileName");
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("/home"))) << label->text().toStdString();
    EXPECT_TRUE(label->text().endsWith(QStringLiteral("/line_tracer.hex")));
    EXPECT_TRUE(label->text().contains(QChar(0x2026)));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    EXPECT_EQ(label->toolTip(), path);
    EXPECT_EQ(rig.form->HexFileName(), path);
}

// A Writer that is plugged in but this user may not open.
class NoPermissionDevice final : public ForwardingDevice {
  public:
    FtStatus OpenEx(const QByteArray&) override { return FT_NO_PERMISSION; }
};

TEST(PermissionMessage, TheDesktopProgramPointsToTheManualsSection) {
    GuiRig rig;
    NoPermissionDevice device;
    ShellContext& c = *rig.context;
    rig.context = std::make_unique<ShellContext>(
        ShellContext{c.clock, device, c.host, c.state, c.runner, c.desktop, c.commonDialog,
                     c.programDir, QString(), c.instanceLockPath, c.quit});
    auto form = rig.Start();
    rig.sim.host.messages.clear();
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdOK"); };
    Click(*form, "EraseCommand");
    EXPECT_EQ(rig.MessageTexts(),
              QStringList({Text("USBライタを開く権限がありません。\r\n") +
                           Text(texts::kNoPermissionLine2) +
                           Text("\r\nくわしくは、ヘルプのマニュアル「USBライタを開"
                                "けないとき」を見てください。")}));
}

}  // namespace
