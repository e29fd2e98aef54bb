// The configuration word settings dialog: ConfigWord shown as options and
// turned back into a word.
#include <gtest/gtest.h>
#include <QGroupBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTest>

#include "GuiRig.h"
#include "config/frmConfig.h"
#include "shared/AppState.h"

namespace {

// The checked option of each group: oscillator, watchdog, power-up timer,
// code protection, by their captions.
QStringList Selected(const frmConfig& dialog) {
    QStringList captions;
    for (int group = 1; group <= 4; ++group) {
        QString checked;
        for (QRadioButton* b :
             dialog.findChildren<QRadioButton*>(QStringLiteral("Option%1").arg(group))) {
            if (b->isChecked()) checked = b->text();
        }
        captions << checked;
    }
    return captions;
}

QRadioButton* Option(frmConfig& dialog, int group, int index) {
    for (QRadioButton* b :
         dialog.findChildren<QRadioButton*>(QStringLiteral("Option%1").arg(group))) {
        if (b->property("index").toInt() == index) return b;
    }
    return nullptr;
}

// Where the dialog's style draws a frame's caption, in the frame's
// coordinates: the text and the gaps left in the border line beside it.
QRect CaptionRect(const QGroupBox& frame) {
    QStyleOptionGroupBox option;
    option.initFrom(&frame);
    option.text = frame.title();
    option.textAlignment = frame.alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    return frame.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                         &frame);
}

struct Mapping {
    int16_t word;
    QStringList shown;
    int16_t afterOk;
};

TEST(ConfigDialog, ShowsTheWordAndOkGivesItBackInFiveBits) {
    const Mapping cases[] = {
        {26, {"HS", "OFF", "OFF", "OFF"}, 26}, {0x3FF9, {"XT", "OFF", "OFF", "OFF"}, 25},
        {7, {"RC", "ON", "ON", "ON"}, 7},      {0, {"LP", "OFF", "ON", "ON"}, 0},
        {31, {"RC", "ON", "OFF", "OFF"}, 31},
    };
    for (const Mapping& c : cases) {
        AppState state;
        state.ConfigWord = c.word;
        frmConfig dialog(state);
        EXPECT_EQ(Selected(dialog), c.shown) << c.word;
        state.ProceedToWrite = 0;
        Click(dialog, "Command1");
        EXPECT_EQ(state.ConfigWord, c.afterOk) << c.word;
        EXPECT_EQ(state.ProceedToWrite, 1);
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(ConfigDialog, ChosenOptionsMakeTheWord) {
    AppState state;
    frmConfig dialog(state);
    Option(dialog, 1, 1)->click();  // LP
    Option(dialog, 2, 0)->click();  // watchdog ON
    Option(dialog, 3, 0)->click();  // power-up timer ON
    Option(dialog, 4, 0)->click();  // code protection ON
    Click(dialog, "Command1");
    EXPECT_EQ(state.ConfigWord, 4);

    frmConfig again(state);
    EXPECT_EQ(Selected(again), QStringList({"LP", "ON", "ON", "ON"}));
    Option(again, 1, 2)->click();  // XT
    Option(again, 3, 1)->click();  // power-up timer OFF
    Click(again, "Command1");
    EXPECT_EQ(state.ConfigWord, 1 + 4 + 8);
}

TEST(ConfigDialog, ClosingWithoutOkKeepsTheWordAndStillLetsTheWriteGoOn) {
    AppState state;
    state.ConfigWord = 0x3FF9;
    {
        frmConfig dialog(state);
        dialog.show();
        Option(dialog, 1, 0)->click();
        state.ProceedToWrite = 0;
        dialog.close();  // the close box
        EXPECT_EQ(state.ConfigWord, 0x3FF9);
        EXPECT_EQ(state.ProceedToWrite, 1);
    }
    {
        frmConfig dialog(state);
        dialog.show();
        state.ProceedToWrite = 0;
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(state.ConfigWord, 0x3FF9);
        EXPECT_EQ(state.ProceedToWrite, 1);
    }
}

TEST(ConfigDialog, ShowsItsFramesAndOptionsWhole) {
    AppState state;
    frmConfig dialog(state);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Configレジスタの設定"));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // not resizable
    QStringList frames;
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) frames << box->title();
    EXPECT_EQ(frames, QStringList({QString::fromUtf8("オシレータ"),
                                   QString::fromUtf8("ウォッチドッグタイマ"),
                                   QString::fromUtf8("パワーアップタイマ"),
                                   QString::fromUtf8("コードプロテクト")}));
    QStringList oscillators;
    for (int i = 0; i < 4; ++i) oscillators << Option(dialog, 1, i)->text();
    EXPECT_EQ(oscillators, QStringList({"RC", "LP", "XT", "HS"}));
    ExpectEveryControlWholeAndApart(dialog);
    // OK has the focus when the dialog opens.
    EXPECT_EQ(dialog.focusWidget(), Find<QPushButton>(dialog, "Command1"));
    EXPECT_EQ(Find<QPushButton>(dialog, "Command1")->text(), QStringLiteral("&OK"));
}

TEST(ConfigDialog, EveryCaptionFitsBetweenTheEndsOfItsFrame) {
    AppState state;
    frmConfig dialog(state);
    dialog.ensurePolished();  // the style sheet places the captions
    const qreal dialogPoints = dialog.font().pointSizeF();
    for (QGroupBox* frame : dialog.findChildren<QGroupBox*>()) {
        const std::string title = frame->title().toStdString();
        // The caption starts this far in from the frame's left end and must
        // end as far from its right end, with its gaps in the border line.
        const QRect caption = CaptionRect(*frame);
        const int textWidth = frame->fontMetrics().horizontalAdvance(frame->title());
        const int inset = caption.left();
        const int gaps = caption.width() - textWidth;
        EXPECT_GE(inset, 1) << title;  // inside the left border line
        EXPECT_GE(gaps, 0) << title;
        EXPECT_LE(textWidth, frame->width() - 2 * inset - gaps) << title;
        // Captions are never larger than the dialog's text; the options
        // inside keep the dialog's size.
        EXPECT_LE(frame->font().pointSizeF(), dialogPoints) << title;
        for (QRadioButton* option : frame->findChildren<QRadioButton*>())
            EXPECT_EQ(option->font().pointSizeF(), dialogPoints) << title;
    }
}

}  // namespace
