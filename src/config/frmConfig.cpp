#include "config/frmConfig.h"

#include "ui_frmConfig.h"

#include <QRadioButton>

#include "shared/AppState.h"
#include "widgets/WindowStyle.h"

namespace {

// Oscillator option index (RC, LP, XT, HS) -> bits 1..0, and back.
constexpr int kOscillatorCode[4] = {3, 0, 1, 2};
constexpr int kOscillatorIndex[4] = {1, 2, 3, 0};

constexpr int kOn = 0;
constexpr int kOff = 1;

}  // namespace

frmConfig::frmConfig(AppState& state, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmConfig>()), state_(state) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    // Frames with their caption on the border line, the options inside.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 1px; padding: 0px; }"));
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
    option(1, kOscillatorIndex[word & 0x3])->setChecked(true);
    option(2, (word & 0x04) ? kOn : kOff)->setChecked(true);  // watchdog: set = ON
    option(3, (word & 0x08) ? kOff : kOn)->setChecked(true);  // power-up timer: clear = ON
    option(4, (word & 0x10) ? kOff : kOn)->setChecked(true);  // code protection: clear = ON
}

int frmConfig::SelectedIndex(int group) const {
    for (int index = 0; QRadioButton* button = option(group, index); ++index) {
        if (button->isChecked()) return index;
    }
    return 0;
}

int16_t frmConfig::SelectedWord() const {
    int word = kOscillatorCode[SelectedIndex(1)];
    if (SelectedIndex(2) == kOn) word += 4;
    if (SelectedIndex(3) == kOff) word += 8;
    if (SelectedIndex(4) == kOff) word += 16;
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
