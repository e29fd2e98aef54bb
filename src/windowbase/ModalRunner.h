#pragma once

class QDialog;

// Shows a dialog modally and returns its result when it has closed. The
// desktop program runs the dialog's own event loop (QDialog::exec); tests
// drive the dialog directly, so a modal window never waits for a user who
// is not there.
class ModalRunner {
  public:
    virtual ~ModalRunner() = default;
    virtual int RunModal(QDialog& dialog) = 0;
};
