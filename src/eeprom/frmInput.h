#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmInput;
}

class Clock;
class ClockTimer;
class Device;
class Host;
struct AppState;

// The byte editor: the EEPROM viewer opens it modally for its current cell.
// It shows the cell's address and value, checks the one or two hexadecimal
// digits typed, and writes that byte. After a write the Writer took it
// waits half a second, then closes; the viewer then reads again.
class frmInput final : public QDialog {
    Q_OBJECT
  public:
    struct Services {
        Clock& clock;
        Device& device;
        Host& host;
        AppState& state;
    };

    // Loads the editor for the viewer's current cell, `row` 1 to 4 and
    // `column` 1 to 16, with EepromCellText in Data1. Clears EepromWritten.
    frmInput(Services services, int row, int column, QWidget* parent = nullptr);
    ~frmInput() override;

    // False when the cell is no data cell: the editor closed as it loaded
    // and is not to be shown.
    bool Loaded() const { return loaded_; }
    int EepromAddress() const { return address_; }

    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void cmdWrite_Click();
    void SetWriting(bool writing);
    void WaitAfterWrite();

    std::unique_ptr<Ui::frmInput> ui_;
    Services services_;
    ClockTimer* Timer1_ = nullptr;
    int address_ = -1;
    bool loaded_ = false;
    // A write (and its pause) runs: the window is not closed under it.
    bool busy_ = false;
    // The pause after a write runs; Timer1's tick ends it.
    bool WriteWaiting_ = false;
};
