#pragma once

#include <QString>
#include <memory>

#include "shared/Host.h"
#include "windowbase/ModalRunner.h"

class Clock;
class QMessageBox;
class QWidget;
struct CommonDialogState;

// The desktop program's Host. Pauses block the user-interface thread, as
// the exchanges are paced; events are processed when a job asks; messages
// are modal message boxes; the read-out's save question is the file dialog
// CommonDialog1, which asks before overwriting a file.
class GuiHost final : public Host {
  public:
    GuiHost(Clock& clock, CommonDialogState& commonDialog)
        : clock_(clock), commonDialog_(commonDialog) {}

    void Sleep(int ms) override;
    void ProcessEvents() override;
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<QString> AskSaveFileName(const QString& proposedPath) override;

    // The message box as MessageBox() shows it (also used for screenshots).
    static std::unique_ptr<QMessageBox> MakeMessageBox(const QString& text, const QString& caption,
                                                       MsgIcon icon, MsgButtons buttons,
                                                       QWidget* parent);

  private:
    Clock& clock_;
    CommonDialogState& commonDialog_;
};

// Runs a dialog's own modal event loop.
class ExecRunner final : public ModalRunner {
  public:
    int RunModal(QDialog& dialog) override;
};
