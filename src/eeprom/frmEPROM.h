#pragma once

#include <memory>

#include "eeprom/EepromJobs.h"
#include "windowbase/CentredDialog.h"

namespace Ui {
class frmEPROM;
}

class Clock;
class Device;
class Host;
class ModalRunner;
class QTableWidget;
struct AppState;

// The EEPROM viewer: the PIC's 64 data bytes as a table of four rows of
// sixteen, read from the chip when the main window opens it, on Refresh and
// after an erase or a byte written by the editor. DATA Clear erases the
// data area; a double-click or Enter on a cell opens the byte editor for it.
// Close hides the viewer (its table and current cell stay); the close box
// unloads it, and the next opening lays out a fresh table.
class frmEPROM final : public CentredDialog, public EepromView {
    Q_OBJECT
  public:
    struct Services {
        Clock& clock;
        Device& device;
        Host& host;
        AppState& state;
        ModalRunner& runner;
    };

    explicit frmEPROM(Services services, QWidget* parent = nullptr);
    ~frmEPROM() override;

    // The table's current cell as the byte editor takes it: row 1 to 4 and
    // column 1 to 16 (row 0 and column 0 are the headers).
    int Row() const;
    int Col() const;

    // EepromView: Refresh and DATA Clear, Label2 and the data cells.
    void SetBusy(bool busy) override;
    void SetStatusText(const QString& text) override;
    void SetCell(int address, const QString& text) override;

  Q_SIGNALS:
    // The close box has unloaded the viewer; it is deleted soon after.
    void unloaded();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void LayOutTable();
    void Form_Activate();
    void cmdRefresh_Click();
    void cmdEraseAll_Click();
    void OpenCellInEditor();

    std::unique_ptr<Ui::frmEPROM> ui_;
    Services services_;
};
