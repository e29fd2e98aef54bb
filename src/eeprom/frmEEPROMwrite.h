#pragma once

#include <QPointer>
#include <memory>

#include "jobs/JobEnv.h"
#include "shared/Host.h"
#include "windowbase/CentredDialog.h"

namespace Ui {
class frmEEPROMwrite;
}

// The EEPROM write form of the "/F" start: OK writes all 64 bytes of the
// data EEPROM from the data file StartArgument, the progress in Label1,
// and the outcome in a message box. Every way out of it ends the program:
// closing it closes the main window, which it hides as it loads. It cannot
// be closed while the transfer runs, so the EEPROM is never left half
// written by a click.
class frmEEPROMwrite final : public CentredDialog, public ProgressView {
    Q_OBJECT
  public:
    // What its job works with.
    using Services = JobEnv;

    frmEEPROMwrite(Services services, QWidget* mainWindow);
    ~frmEEPROMwrite() override;

    // ProgressView: Label1.
    void SetStatusText(const QString& text) override;
    void SetProgress(int, int) override {}

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Command1_Click();

    std::unique_ptr<Ui::frmEEPROMwrite> ui_;
    Services services_;
    QPointer<QWidget> mainWindow_;
    bool busy_ = false;
};
