// The main window's commands through its buttons and menus, on the
// simulated Writer.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "GuiRig.h"
#include "config/frmConfig.h"
#include "program/frmReadWrite.h"

namespace {

const QString kTitle = QString::fromUtf8("Q-LARK USBライタ");

QString LabelOf(FormMain& form) {
    return Find<QLabel>(form, "HexFileName")->text();
}

void Trigger(FormMain& form, const char* action) {
    QAction* a = Find<QAction>(form, action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
}

struct MainRig : GuiRig {
    MainRig() : GuiRig() { form = Start(); }
    explicit MainRig(FaultPlan faults) : GuiRig(std::move(faults)) { form = Start(); }
    // What happened after start-up only.
    void Forget() {
        sim.host.messages.clear();
        sim.trace.clear();
        sim.host.sleeps.clear();
    }
    std::unique_ptr<FormMain> form;
};

TEST(MainWindowWrite, WholePathFromTheWriteButton) {
    MainRig rig;
    const QString path = rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex);
    rig.form->SetHexFileName(path);
    rig.Forget();

    QString question;
    QString configShown;
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [&](QDialog& d) {
        question = Find<QLabel>(d, "Label1")->text();
        Click(d, "cmdOK");
    };
    rig.runner.scripts[QStringLiteral("frmConfig")] = [&](QDialog& d) {
        configShown = QString::number(static_cast<frmConfig&>(d).SelectedWord());
        Click(d, "Command1");
    };
    Click(*rig.form, "WriteCommand");

    const QStringList lines = question.split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QString::fromUtf8("PICにプログラムを書込んでよろしいですか？ "));
    EXPECT_EQ(lines[1], path);
    EXPECT_EQ(rig.runner.shown, QStringList({"frmReadWrite:Write", "frmConfig"}));
    EXPECT_EQ(configShown, QStringLiteral("25"));
    EXPECT_EQ(rig.sim.Wire(), QStringList({"w 42", "r 61", "w 57", "r 77", "w 44", "r 77",
                                           "w E0 81", "r 77", "w 44", "r 77", "w D0 8A", "r 77",
                                           "w 47", "r 67", "w 80 99", "r 77", "w 45"}));
    ASSERT_EQ(rig.sim.host.messages.size(), 1u);
    EXPECT_EQ(rig.sim.host.messages[0].text, QString::fromUtf8("書込みが終了しました"));
    EXPECT_EQ(rig.sim.host.messages[0].caption, kTitle);
    EXPECT_EQ(rig.sim.host.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(rig.sim.device->firmware().chip().program[0], 0x3001);
    EXPECT_EQ(rig.sim.device->firmware().chip().program[1], 0x280A);
    EXPECT_EQ(rig.sim.device->closeCount(), 2);  // the start-up check and the write
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && w->objectName() == u"frmReadWrite");
}

// The question's label as the operation dialog shows it.
struct QuestionSeen {
    QStringList lines;
    QString toolTip;
    bool linesFitTheWidth = false;
    bool textFitsTheHeight = false;
    bool clearOfTheButtons = false;
};

QuestionSeen AskToWrite(MainRig& rig, const QString& path) {
    rig.form->SetHexFileName(path);
    QuestionSeen seen;
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [&seen](QDialog& d) {
        const QLabel* label = Find<QLabel>(d, "Label1");
        seen.lines = label->text().split(u'\n');
        seen.toolTip = label->toolTip();
        const int width = label->contentsRect().width();
        seen.linesFitTheWidth =
            std::all_of(seen.lines.begin(), seen.lines.end(), [&](const QString& line) {
                return label->fontMetrics().horizontalAdvance(line) <= width;
            });
        // The text as the label lays it out, wrapped lines and all.
        seen.textFitsTheHeight = label->heightForWidth(label->width()) <= label->height();
        const QRect buttons = Find<QPushButton>(d, "cmdOK")
                                  ->geometry()
                                  .united(Find<QPushButton>(d, "cmdCancel")->geometry());
        seen.clearOfTheButtons = !label->geometry().intersects(buttons);
    };
    Click(*rig.form, "WriteCommand");
    return seen;
}

TEST(MainWindowWrite, APathTooLongForTheQuestionLosesFoldersButKeepsItsFileName) {
    MainRig rig;
    QString folder = rig.dir.path();
    for (int i = 0; i < 6; ++i) folder += QStringLiteral("/a_folder_with_a_long_name_%1").arg(i);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString name = QStringLiteral("servo_controller.hex");
    const QString path = QDir::toNativeSeparators(QDir(folder).filePath(name));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTwoWordHex);
    file.close();

    const QString question = QString::fromUtf8("PICにプログラムを書込んでよろしいですか？ ");
    const QuestionSeen longSeen = AskToWrite(rig, path);
    ASSERT_EQ(longSeen.lines.size(), 2);
    EXPECT_EQ(longSeen.lines[0], question);
    EXPECT_NE(longSeen.lines[1], path);
    EXPECT_TRUE(longSeen.lines[1].startsWith(path.left(3))) << longSeen.lines[1].toStdString();
    EXPECT_TRUE(longSeen.lines[1].endsWith(QDir::separator() + name))
        << longSeen.lines[1].toStdString();
    EXPECT_TRUE(longSeen.linesFitTheWidth);
    EXPECT_TRUE(longSeen.textFitsTheHeight);
    EXPECT_TRUE(longSeen.clearOfTheButtons);
    EXPECT_EQ(longSeen.toolTip, question + u'\n' + path);

    // A path that fits is shown whole, without a tooltip.
    const QString shortPath = rig.WriteFile(QStringLiteral("a.hex"), kTwoWordHex);
    const QuestionSeen shortSeen = AskToWrite(rig, shortPath);
    EXPECT_EQ(shortSeen.lines, QStringList({question, shortPath}));
    EXPECT_TRUE(shortSeen.textFitsTheHeight);
    EXPECT_TRUE(shortSeen.toolTip.isEmpty());
}

TEST(MainWindowWrite, FileChecksComeBeforeTheDialog) {
    MainRig rig;
    rig.Forget();
    Trigger(*rig.form, "menu_memory_w");  // empty label
    rig.form->SetHexFileName(QDir(rig.dir.path()).filePath(QStringLiteral("deleted.hex")));
    Click(*rig.form, "WriteCommand");
    EXPECT_EQ(
        rig.MessageTexts(),
        QStringList(
            {QString::fromUtf8("参照をクリックしてHEXファイルを指定してください"),
             QString::fromUtf8(
                 "HEXファイルが存在しません。参照をクリックしてファイルを指定をしてください")}));
    for (const auto& m : rig.sim.host.messages) {
        EXPECT_EQ(m.caption, kTitle);
        EXPECT_EQ(m.icon, MsgIcon::Critical);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }
    EXPECT_TRUE(rig.runner.shown.isEmpty());
    EXPECT_TRUE(rig.sim.trace.isEmpty());
}

TEST(MainWindowWrite, CancelInTheDialogSendsNothing) {
    MainRig rig;
    rig.form->SetHexFileName(rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex));
    rig.Forget();
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdCancel"); };
    Click(*rig.form, "WriteCommand");
    EXPECT_EQ(rig.runner.shown, QStringList({"frmReadWrite:Write"}));
    EXPECT_TRUE(rig.sim.trace.isEmpty());
    EXPECT_TRUE(rig.sim.host.messages.empty());
}

TEST(MainWindowCommands, ReadAndEraseAskTheirQuestionsWithAnEmptyLabel) {
    MainRig rig;
    rig.Forget();
    QStringList questions;
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [&](QDialog& d) {
        questions << d.windowTitle() + u':' + Find<QLabel>(d, "Label1")->text();
        Click(d, "cmdOK");
    };
    rig.sim.host.saveAnswer = QDir(rig.dir.path()).filePath(QStringLiteral("read.hex"));
    Click(*rig.form, "ReadCommand");
    Trigger(*rig.form, "menu_memory_e");
    EXPECT_EQ(questions,
              QStringList({QString::fromUtf8("Read:PICのプログラムを読出しますか"),
                           QString::fromUtf8("Erase:プログラムメモリを全消去しますか")}));
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("読取り終了しました"),
                                               QString::fromUtf8("全消去しました")}));
    // The read-out proposes qlark.hex in the current directory.
    ASSERT_EQ(rig.sim.host.saveProposals.size(), 1);
    EXPECT_TRUE(rig.sim.host.saveProposals[0].endsWith(QStringLiteral("qlark.hex")));
}

TEST(MainWindowCommands, BrowseSetsTheLabelAndCancelKeepsIt) {
    MainRig rig;
    rig.form->SetHexFileName(QStringLiteral("/old.hex"));
    rig.desktop.openAnswer = std::nullopt;
    Click(*rig.form, "FileNameRef");
    Trigger(*rig.form, "menu_file_ref");
    EXPECT_EQ(LabelOf(*rig.form), QStringLiteral("/old.hex"));
    rig.desktop.openAnswer = QStringLiteral("/new/robot.hex");
    Trigger(*rig.form, "menu_file_ref");
    EXPECT_EQ(LabelOf(*rig.form), QStringLiteral("/new/robot.hex"));
    // The dialog starts from the file it gave last.
    rig.desktop.openAnswer = std::nullopt;
    Click(*rig.form, "FileNameRef");
    EXPECT_EQ(rig.desktop.openCalls.back(), QStringLiteral("/new/robot.hex"));
}

void Drop(FormMain& form, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
}

TEST(MainWindowCommands, DroppingExactlyOneFileSetsTheLabel) {
    MainRig rig;
    rig.form->SetHexFileName(QStringLiteral("/old.hex"));
    Drop(*rig.form, {QUrl::fromLocalFile(QStringLiteral("/a/one.hex")),
                     QUrl::fromLocalFile(QStringLiteral("/a/two.hex"))});
    EXPECT_EQ(LabelOf(*rig.form), QStringLiteral("/old.hex"));
    Drop(*rig.form, {QUrl(QStringLiteral("https://example.org/x.hex"))});
    EXPECT_EQ(LabelOf(*rig.form), QStringLiteral("/old.hex"));
    Drop(*rig.form, {QUrl::fromLocalFile(QStringLiteral("/a/notes.txt"))});
    EXPECT_EQ(LabelOf(*rig.form), QDir::toNativeSeparators(QStringLiteral("/a/notes.txt")));
    EXPECT_TRUE(rig.desktop.openCalls.isEmpty());
}

TEST(MainWindowCommands, TextEditorAndHelp) {
    MainRig rig;
    rig.Forget();
    Trigger(*rig.form, "menu_file_notepad");  // empty label
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("ファイルが存在しません")}));
    EXPECT_TRUE(rig.desktop.editorCalls.isEmpty());

    const QString path = rig.WriteFile(QStringLiteral("robot.hex"), kTwoWordHex);
    rig.form->SetHexFileName(path);
    Trigger(*rig.form, "menu_file_notepad");
    EXPECT_EQ(rig.desktop.editorCalls, QStringList({path}));
    EXPECT_EQ(rig.sim.host.messages.size(), 1u);
    rig.desktop.editorWorks = false;
    Trigger(*rig.form, "menu_file_notepad");
    EXPECT_EQ(rig.MessageTexts().back(),
              QString::fromUtf8("テキストエディタを起動できませんでした"));

    // The help file beside the program; without it, the manual (see the
    // extras' tests).
    rig.WriteFile(QStringLiteral("t5813.hlp"), QByteArray());
    Trigger(*rig.form, "munHelpFile");
    EXPECT_EQ(rig.desktop.helpCalls,
              QStringList({QDir::toNativeSeparators(
                  QDir(rig.dir.path()).filePath(QStringLiteral("t5813.hlp")))}));
    EXPECT_EQ(rig.sim.host.messages.size(), 2u);
    rig.desktop.helpWorks = false;
    Trigger(*rig.form, "munHelpFile");
    EXPECT_EQ(rig.MessageTexts().back(), QString::fromUtf8("ヘルプファイルを開けませんでした"));
    EXPECT_EQ(rig.sim.host.messages.back().icon, MsgIcon::Critical);
    EXPECT_EQ(rig.sim.host.messages.back().caption, kTitle);
}

TEST(MainWindowBoard, MenuItemsSwitchCheckIconTitleAndHandshake) {
    MainRig rig;
    auto* qlark = Find<QAction>(*rig.form, "munQLARK");
    auto* qlark2 = Find<QAction>(*rig.form, "munQLARK2");
    auto* image1 = Find<QLabel>(*rig.form, "Image1");
    auto* image2 = Find<QLabel>(*rig.form, "Image2");
    EXPECT_EQ(image1->toolTip(), QString::fromUtf8("T5813のCN3が有効です"));
    EXPECT_EQ(image2->toolTip(), QString::fromUtf8("T5813のCN2が有効です"));

    for (int round = 0; round < 2; ++round) {
        qlark->trigger();
        EXPECT_TRUE(qlark->isChecked());
        EXPECT_FALSE(qlark2->isChecked());
        EXPECT_FALSE(image1->isHidden());
        EXPECT_TRUE(image2->isHidden());
        EXPECT_EQ(rig.form->windowTitle(), QString::fromUtf8("Q-LARK USBライタ for Q-LARK"));
        EXPECT_EQ(rig.sim.state.BoardMode, 1);
    }
    rig.Forget();
    rig.runner.scripts[QStringLiteral("frmReadWrite")] = [](QDialog& d) { Click(d, "cmdOK"); };
    Click(*rig.form, "EraseCommand");
    EXPECT_EQ(rig.sim.Wire().front(), QStringLiteral("w 41"));  // 'A'

    qlark2->trigger();
    EXPECT_FALSE(qlark->isChecked());
    EXPECT_TRUE(qlark2->isChecked());
    EXPECT_TRUE(image1->isHidden());
    EXPECT_FALSE(image2->isHidden());
    EXPECT_EQ(rig.form->windowTitle(), QString::fromUtf8("Q-LARK USBライタ for Q-LARK2"));
    rig.Forget();
    Click(*rig.form, "EraseCommand");
    EXPECT_EQ(rig.sim.Wire().front(), QStringLiteral("w 42"));  // 'B'
}

TEST(MainWindowLayout, ControlsMenusAndTabOrder) {
    MainRig rig;
    FormMain& f = *rig.form;
    EXPECT_EQ(Find<QPushButton>(f, "WriteCommand")->geometry(), QRect(16, 104, 49, 33));
    EXPECT_EQ(Find<QLabel>(f, "HexFileName")->geometry(), QRect(32, 40, 265, 25));
    EXPECT_EQ(Find<QLabel>(f, "Image2")->geometry(), QRect(360, 4, 32, 32));
    EXPECT_EQ(f.centralWidget()->size(), QSize(395, 149));
    const char* actions[][2] = {
        {"menu_file_ref", "参照(&O)..."},
        {"menu_file_notepad", "メモ帳で開く(&M)"},
        {"menu_file_unload", "終了(&X)..."},
        {"menu_memory_w", "プログラムWrite(&W)..."},
        {"menu_memory_r", "プログラムRead(&R)..."},
        {"menu_memory_e", "プログラムErase(&E)..."},
        {"menu_memory_m", "データメモリ(&M)..."},
        {"menu_memory_c", "CONGIG(&C)..."},
        {"munQLARK", "Q-LARK (&1)"},
        {"munQLARK2", "Q-LARK2 (&2)"},
        {"munHelpFile", "ヘルプファイル(&H)"},
        {"menu_help_ver", "バージョン情報(&A)..."},
    };
    for (const auto& a : actions) {
        QAction* action = Find<QAction>(f, a[0]);
        ASSERT_NE(action, nullptr) << a[0];
        EXPECT_EQ(action->text(), QString::fromUtf8(a[1]));
    }
    EXPECT_TRUE(Find<QAction>(f, "munSep0")->isSeparator());
    EXPECT_TRUE(Find<QAction>(f, "munSep1")->isSeparator());
    // Every command is there, data memory and CONFIG included.
    for (const char* button : {"WriteCommand", "EraseCommand", "ReadCommand", "EPROMCommand1",
                               "ConfigCommand", "ExitCommand", "FileNameRef"}) {
        EXPECT_TRUE(Find<QPushButton>(f, button)->isEnabled()) << button;
        EXPECT_TRUE(Find<QPushButton>(f, button)->toolTip().isEmpty()) << button;
    }
    for (const auto& a : actions) EXPECT_TRUE(Find<QAction>(f, a[0])->isEnabled()) << a[0];
    // Tab order: Write, Erase, Read, Show, Show, Exit, then Browse.
    QStringList chain;
    QWidget* w = Find<QPushButton>(f, "WriteCommand");
    while (chain.size() < 7) {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, QStringList({"WriteCommand", "EraseCommand", "ReadCommand", "EPROMCommand1",
                                  "ConfigCommand", "ExitCommand", "FileNameRef"}));
}

TEST(MainWindowAbout, MenuShowsTheBoxWithTheFirmwareVersionAndAsksEachTime) {
    MainRig rig;
    QStringList seen;
    rig.runner.scripts[QStringLiteral("frmAbout")] = [&](QDialog& d) {
        seen << Find<QLabel>(d, "Label2")->text();
        Click(d, "Command1");
    };
    rig.Forget();
    Trigger(*rig.form, "menu_help_ver");
    Trigger(*rig.form, "menu_help_ver");
    EXPECT_EQ(seen, QStringList(2, QString::fromUtf8("ファームウェアバージョン 1.08")));
    EXPECT_EQ(rig.sim.Wire().filter(QStringLiteral("w 40")).size(), 2);
}

}  // namespace
