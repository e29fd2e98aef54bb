#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmConfig;
}

struct AppState;
class QRadioButton;

// The configuration word settings dialog: shows ConfigWord as four option
// groups just before a program write and lets the user change it. OK stores
// the chosen word; closing it any other way keeps ConfigWord. Every close
// sets ProceedToWrite, so the write goes on either way.
class frmConfig final : public QDialog {
    Q_OBJECT
  public:
    explicit frmConfig(AppState& state, QWidget* parent = nullptr);
    ~frmConfig() override;

    // Option button `index` of group 1 (oscillator), 2 (watchdog timer),
    // 3 (power-up timer) or 4 (code protection).
    QRadioButton* option(int group, int index) const;

    // The word the selected options stand for (0 to 31).
    int16_t SelectedWord() const;

    void done(int result) override;

  private:
    void ShowConfigWord(int16_t word);
    void Command1_Click();
    int SelectedIndex(int group) const;

    std::unique_ptr<Ui::frmConfig> ui_;
    AppState& state_;
};
