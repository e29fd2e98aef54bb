// The operation dialog on its own: what OK runs for each mode, Cancel, and
// closing it during start-up.
#include <gtest/gtest.h>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include "GuiRig.h"
#include "config/frmConfig.h"
#include "program/frmReadWrite.h"

namespace {

using Operation = frmReadWrite::Operation;

struct DialogRig : GuiRig {
    DialogRig() = default;
    explicit DialogRig(FaultPlan faults) : GuiRig(std::move(faults)) {}
    // Without an operation: the start-up check's notice.
    std::unique_ptr<frmReadWrite> Make(std::optional<Operation> operation,
                                       const QString& question) {
        auto dialog = std::make_unique<frmReadWrite>(
            frmReadWrite::Services{*sim.device, host, sim.state, runner});
        if (operation) dialog->SetOperation(*operation, hexPath);
        dialog->SetQuestion(question);
        dialog->show();
        return dialog;
    }
    QString hexPath;
};

TEST(OperationDialog, CancelSendsNothingAndKeepsTheConfigurationWord) {
    for (const Operation mode : {Operation::Write, Operation::Read, Operation::Erase}) {
        DialogRig rig;
        rig.hexPath = rig.WriteFile(QStringLiteral("a.hex"), kTwoWordHex);
        rig.sim.state.ConfigWord = 26;
        auto dialog = rig.Make(mode, QStringLiteral("?"));
        Click(*dialog, "cmdCancel");
        EXPECT_FALSE(dialog->isVisible()) << static_cast<int>(mode);
        EXPECT_TRUE(rig.sim.trace.isEmpty()) << static_cast<int>(mode);
        EXPECT_EQ(rig.sim.state.ConfigWord, 26) << static_cast<int>(mode);
        EXPECT_TRUE(rig.runner.shown.isEmpty()) << static_cast<int>(mode);
    }
}

TEST(OperationDialog, ReadAndErasePauseHalfASecondBeforeTheWriterIsOpened) {
    DialogRig rig;
    rig.sim.host.saveAnswer = QDir(rig.dir.path()).filePath(QStringLiteral("out.hex"));
    auto read = rig.Make(Operation::Read, QStringLiteral("?"));
    Click(*read, "cmdOK");
    // 500 ms, then the link's settling pause after the open.
    ASSERT_GE(rig.sim.host.sleeps.size(), 2u);
    EXPECT_EQ(rig.sim.host.sleeps[0], 500);
    EXPECT_EQ(rig.sim.host.sleeps[1], 50);
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("読取り終了しました")}));
    EXPECT_TRUE(QFile::exists(*rig.sim.host.saveAnswer));
    EXPECT_FALSE(read->isVisible());
    // The bar showed the words received.
    auto* bar = Find<QProgressBar>(*read, "ProgressBar1");
    EXPECT_EQ(bar->maximum(), 1032);
    EXPECT_EQ(bar->value(), 1032);

    DialogRig erase;
    auto dialog = erase.Make(Operation::Erase, QStringLiteral("?"));
    Click(*dialog, "cmdOK");
    EXPECT_EQ(erase.sim.host.sleeps.front(), 500);
    EXPECT_EQ(erase.MessageTexts(), QStringList({QString::fromUtf8("全消去しました")}));
    EXPECT_FALSE(Find<QProgressBar>(*dialog, "ProgressBar1")->isVisible());
    EXPECT_FALSE(dialog->isVisible());
}

TEST(OperationDialog, WriteLoadsTheFilesWordBeforeTheConfigurationDialogAndHasNoPause) {
    DialogRig rig;
    rig.hexPath = rig.WriteFile(QStringLiteral("a.hex"), kTwoWordHex);
    QStringList seenInConfig;
    rig.runner.scripts[QStringLiteral("frmConfig")] = [&](QDialog& d) {
        auto& config = static_cast<frmConfig&>(d);
        seenInConfig << QString::number(config.SelectedWord());
        // The buttons of the operation dialog are off while it runs.
        Click(d, "Command1");
    };
    auto dialog = rig.Make(Operation::Write, QStringLiteral("?"));
    Click(*dialog, "cmdOK");
    EXPECT_EQ(seenInConfig, QStringList({QStringLiteral("25")}));  // 0x3FF9 shown as XT/OFF/OFF/OFF
    EXPECT_EQ(rig.sim.state.ConfigWord, 25);
    EXPECT_EQ(rig.sim.host.sleeps.front(), 50);  // the link's settling pause comes first
    EXPECT_EQ(rig.sim.Wire().mid(2),
              QStringList({"w 57", "r 77", "w 44", "r 77", "w E0 81", "r 77", "w 44", "r 77",
                           "w D0 8A", "r 77", "w 47", "r 67", "w 80 99", "r 77", "w 45"}));
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
    auto* bar = Find<QProgressBar>(*dialog, "ProgressBar1");
    EXPECT_EQ(bar->maximum(), 2);
    EXPECT_EQ(bar->value(), 2);
    EXPECT_FALSE(dialog->isVisible());
}

TEST(OperationDialog, ButtonsAreOffWhileTheOperationRuns) {
    DialogRig rig;
    rig.hexPath = rig.WriteFile(QStringLiteral("a.hex"), kTwoWordHex);
    std::unique_ptr<frmReadWrite> dialog;
    int checks = 0;
    rig.host.onEvents = [&]() {
        ++checks;
        EXPECT_FALSE(Find<QPushButton>(*dialog, "cmdOK")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(*dialog, "cmdCancel")->isEnabled());
        // A close request while the write runs is refused.
        dialog->close();
        EXPECT_TRUE(dialog->isVisible());
    };
    rig.runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { Click(d, "Command1"); };
    dialog = rig.Make(Operation::Write, QStringLiteral("?"));
    Click(*dialog, "cmdOK");
    EXPECT_GT(checks, 0);
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
    EXPECT_FALSE(dialog->isVisible());
}

TEST(OperationDialog, ConfigurationDialogClosedByItsCloseBoxStillWritesTheLoadedWord) {
    DialogRig rig;
    rig.hexPath = rig.WriteFile(QStringLiteral("a.hex"), kTwoWordHex);
    rig.runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { d.close(); };
    auto dialog = rig.Make(Operation::Write, QStringLiteral("?"));
    Click(*dialog, "cmdOK");
    EXPECT_EQ(rig.sim.state.ConfigWord, 0x3FF9);
    // Only the low seven bits of the word go out.
    EXPECT_TRUE(rig.sim.Wire().contains(QStringLiteral("w 80 F9")));
    EXPECT_EQ(rig.MessageTexts(), QStringList({QString::fromUtf8("書込みが終了しました")}));
}

TEST(OperationDialog, ClosingDuringStartUpAsksTheProgramToEnd) {
    DialogRig rig;
    rig.sim.state.StartupCheckState = 1;
    auto during = rig.Make(std::nullopt, QStringLiteral("?"));
    during->close();
    EXPECT_TRUE(during->EndProgramRequested());
    EXPECT_FALSE(during->isVisible());

    rig.sim.state.StartupCheckState = 0;
    auto after = rig.Make(Operation::Erase, QStringLiteral("?"));
    after->close();
    EXPECT_FALSE(after->EndProgramRequested());
    EXPECT_FALSE(after->isVisible());
    EXPECT_TRUE(rig.sim.trace.isEmpty());
}

// Word by word the view may lag, but it catches up by itself and never
// misses the first word, the last one, or a text outside the count.
TEST(OperationDialog, ProgressCatchesUpAndShowsTheEndsAtOnce) {
    DialogRig rig;
    auto dialog = rig.Make(Operation::Read, QStringLiteral("?"));
    ProgressView& view = *dialog;
    auto* label = Find<QLabel>(*dialog, "Label1");
    auto* bar = Find<QProgressBar>(*dialog, "ProgressBar1");
    view.SetProgress(0, 0);
    EXPECT_EQ(bar->maximum(), 0);
    view.SetStatusText(QStringLiteral("0000 start"));
    EXPECT_EQ(label->text(), QStringLiteral("0000 start"));
    view.SetProgress(0, 100);
    EXPECT_EQ(bar->maximum(), 100);
    view.SetProgress(1, 100);  // the first word
    EXPECT_EQ(bar->value(), 1);
    for (int word = 2; word < 60; ++word) {
        view.SetStatusText(QStringLiteral("%1 word").arg(word));
        view.SetProgress(word, 100);
    }
    // The last update of the count comes when the interval is up.
    QTest::qWait(200);
    EXPECT_EQ(label->text(), QStringLiteral("59 word"));
    EXPECT_EQ(bar->value(), 59);
    for (int word = 60; word <= 100; ++word) {
        view.SetStatusText(QStringLiteral("%1 word").arg(word));
        view.SetProgress(word, 100);
    }
    EXPECT_EQ(label->text(), QStringLiteral("100 word"));  // the last word at once
    EXPECT_EQ(bar->value(), 100);
    view.SetStatusText(QStringLiteral("done"));
    EXPECT_EQ(label->text(), QStringLiteral("done"));
}

TEST(OperationDialog, ShowsItsQuestionAndButtonsWhole) {
    DialogRig rig;
    auto dialog = rig.Make(Operation::Write, QStringLiteral("?"));
    EXPECT_EQ(Find<QPushButton>(*dialog, "cmdOK")->text(), QStringLiteral("&OK"));
    EXPECT_EQ(Find<QPushButton>(*dialog, "cmdCancel")->text(), QStringLiteral("&Cancel"));
    EXPECT_FALSE(Find<QProgressBar>(*dialog, "ProgressBar1")->isVisible());
    ExpectEveryControlWholeAndApart(*dialog);
    // The bar, once a job shows it, takes room of its own.
    dialog->SetProgress(0, 10);
    EXPECT_TRUE(Find<QProgressBar>(*dialog, "ProgressBar1")->isVisible());
    ExpectEveryControlWholeAndApart(*dialog);
}

}  // namespace
