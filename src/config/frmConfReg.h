#pragma once

#include <memory>

#include "jobs/JobEnv.h"
#include "shared/Host.h"
#include "windowbase/CentredDialog.h"

namespace Ui {
class frmConfReg;
}

// The configuration register viewer: reads the configuration word
// programmed in the PIC each time it becomes the active window and shows
// its oscillator, watchdog, power-up timer and code protection in Label3.
// A failed read closes it (the message has been shown). It opens where it
// was last closed in this run, or centred.
class frmConfReg final : public CentredDialog, public ProgressView {
    Q_OBJECT
  public:
    // What its job works with.
    using Services = JobEnv;

    explicit frmConfReg(Services services, QWidget* parent = nullptr);
    ~frmConfReg() override;

    // ProgressView: Label3.
    void SetStatusText(const QString& text) override;
    void SetProgress(int, int) override {}

  Q_SIGNALS:
    // The window has closed; it is deleted soon after.
    void unloaded();

  protected:
    bool event(QEvent* event) override;
    void PlaceWhenFirstShown() override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void ReadConfReg();

    std::unique_ptr<Ui::frmConfReg> ui_;
    Services services_;
    // A read runs: the activations its message boxes cause read nothing.
    bool reading_ = false;
};
