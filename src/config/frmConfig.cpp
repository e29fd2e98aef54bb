#include "config/frmConfig.h"

#include "ui_frmConfig.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QRadioButton>
#include <algorithm>

#include "link/protocol/MemoryMap.h"
#include "shared/AppState.h"
#include "windowbase/WindowStyle.h"

namespace {

// Oscillator option index (RC, LP, XT, HS) -> bits 1..0, and back.
constexpr int kOscillatorCode[4] = {3, 0, 1, 2};
constexpr int kOscillatorIndex[4] = {1, 2, 3, 0};

constexpr int kOn = 0;
constexpr int kOff = 1;

// A frame's caption sits on its top border line, this many pixels in from
// the frame's left end, with a gap of kCaptionGap pixels in the line on
// either side of the text. It must end as far from the frame's right end.
constexpr int kCaptionInset = 2;
constexpr int kCaptionGap = 1;
// Captions too wide for their frame in the dialog's font are drawn smaller,
// in steps of half a point, down to this size at the least.
constexpr double kCaptionStepPoints = 0.5;
constexpr double kSmallestCaptionPoints = 6.0;

bool CaptionsFit(const QFont& font, const QList<QGroupBox*>& frames) {
    const QFontMetrics metrics(font);
    return std::all_of(frames.begin(), frames.end(), [&metrics](const QGroupBox* frame) {
        return metrics.horizontalAdvance(frame->title()) <=
               frame->width() - 2 * (kCaptionInset + kCaptionGap);
    });
}

// The font of every frame caption: the dialog's own when all fit their
// frames, else the largest smaller size at which they do, so the captions
// keep one size and the frames keep their designed widths.
QFont CaptionFont(const QFont& dialogFont, const QList<QGroupBox*>& frames) {
    QFont font = dialogFont;
    double points = dialogFont.pointSizeF();
    if (points <= 0) return font;  // a font sized in pixels is left as it is
    while (!CaptionsFit(font, frames) && points - kCaptionStepPoints >= kSmallestCaptionPoints) {
        points -= kCaptionStepPoints;
        font.setPointSizeF(points);
    }
    return font;
}

}  // namespace

frmConfig::frmConfig(AppState& state, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmConfig>()), state_(state) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    // Frames with their caption on the border line, the options inside.
    setStyleSheet(windowstyle::CaptionOnBorderStyleSheet(kCaptionInset, kCaptionGap));
    // The captions get a font that fits them into their frames; the options
    // inside keep the dialog's.
    QFont optionFont = font();
    optionFont.setResolveMask(QFont::AllPropertiesResolved);  // not inherited from the frame
    const QList<QGroupBox*> frames = findChildren<QGroupBox*>();
    const QFont captionFont = CaptionFont(font(), frames);
    for (QGroupBox* frame : frames) {
        frame->setFont(captionFont);
        for (QRadioButton* button : frame->findChildren<QRadioButton*>())
            button->setFont(optionFont);
    }
    // The option groups are control arrays: every button of a group carries
    // the group's name and its index.
    for (int group = 1; group <= 4; ++group) {
        for (int index = 0; QRadioButton* button = option(group, index); ++index) {
            button->setObjectName(QStringLiteral("Option%1").arg(group));
            button->setProperty("index", index);
        }
    }
    connect(ui_->Command1, &QPushButton::clicked, this, [this]() { Command1_Click(); });
    ShowConfigWord(state_.ConfigWord);
    ui_->Command1->setFocus();
}

frmConfig::~frmConfig() = default;

QRadioButton* frmConfig::option(int group, int index) const {
    QRadioButton* const buttons[4][4] = {
        {ui_->Option1_0, ui_->Option1_1, ui_->Option1_2, ui_->Option1_3},
        {ui_->Option2_0, ui_->Option2_1, nullptr, nullptr},
        {ui_->Option3_0, ui_->Option3_1, nullptr, nullptr},
        {ui_->Option4_0, ui_->Option4_1, nullptr, nullptr},
    };
    if (group < 1 || group > 4 || index < 0 || index > 3) return nullptr;
    return buttons[group - 1][index];
}

void frmConfig::ShowConfigWord(int16_t word) {
    using namespace memorymap;
    option(1, kOscillatorIndex[word & kConfigOscillatorMask])->setChecked(true);
    option(2, (word & kConfigWatchdogBit) ? kOn : kOff)->setChecked(true);
    option(3, (word & kConfigPowerUpTimerBit) ? kOff : kOn)->setChecked(true);
    option(4, (word & kConfigCodeProtectBit) ? kOff : kOn)->setChecked(true);
}

int frmConfig::SelectedIndex(int group) const {
    for (int index = 0; QRadioButton* button = option(group, index); ++index) {
        if (button->isChecked()) return index;
    }
    return 0;
}

int16_t frmConfig::SelectedWord() const {
    using namespace memorymap;
    int word = kOscillatorCode[SelectedIndex(1)];
    if (SelectedIndex(2) == kOn) word |= kConfigWatchdogBit;
    if (SelectedIndex(3) == kOff) word |= kConfigPowerUpTimerBit;
    if (SelectedIndex(4) == kOff) word |= kConfigCodeProtectBit;
    return static_cast<int16_t>(word);
}

void frmConfig::Command1_Click() {
    state_.ConfigWord = SelectedWord();
    accept();
}

void frmConfig::done(int result) {
    state_.ProceedToWrite = 1;
    QDialog::done(result);
}
