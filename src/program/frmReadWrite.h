#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <memory>
#include <optional>

#include "jobs/JobEnv.h"
#include "program/HexProgram.h"
#include "shared/Host.h"
#include "windowbase/CentredDialog.h"

namespace Ui {
class frmReadWrite;
}

class Device;
class ModalRunner;
struct AppState;

// The operation dialog: the main window tells it the operation (its mode,
// "Write", "Read" or "Erase", is the caption) with the write's HEX file, and
// its question, and shows it modally; OK runs the operation and closes the
// dialog. It also serves the start-up
// Writer check as the notice that the program is talking to the Writer;
// closing it during start-up ends the program.
//
// While a write or a read runs, Label1 shows the address and the bar under
// the buttons how many words are done. They change with every word, far
// faster than an eye follows, so the view shows them at most every 30 ms:
// an update that comes sooner waits (the latest one wins) and is shown when
// the time is up, or at once with the first and the last word, with a text
// outside the count, and when the operation ends.
class frmReadWrite final : public CentredDialog, public ProgressView {
    Q_OBJECT
  public:
    struct Services {
        Device& device;
        Host& host;
        AppState& state;
        ModalRunner& runner;
    };

    enum class Operation { Write, Read, Erase };

    // What a write does beyond the program and the configuration word; both
    // are off unless the user turns them on in the memory menu.
    struct WriteOptions {
        bool verify = false;     // read the chip back and compare
        bool hexEeprom = false;  // write the HEX file's EEPROM data after the program
    };

    frmReadWrite(Services services, QWidget* parent = nullptr);
    ~frmReadWrite() override;

    // The opener's part: the operation OK runs, whose mode becomes the
    // caption, with the HEX file of a write; the question goes into Label1.
    void SetOperation(Operation operation, const QString& hexFile = {});
    void SetQuestion(const QString& text);
    void SetWriteOptions(WriteOptions options) { writeOptions_ = options; }

    // ProgressView: Label1 and the progress bar.
    void SetStatusText(const QString& text) override;
    void SetProgress(int done, int total) override;

    // The start-up check's notice: both buttons disabled, `text` in Label1.
    void PrepareCheck(const QString& text);
    // The dialog was closed while start-up ran: the program is to end.
    bool EndProgramRequested() const { return endProgramRequested_; }

    void done(int result) override;

  protected:
  private:
    void cmdOK_Click();
    void RunOperation();
    // The write of the checked file, then what the options ask for; one
    // message at the end tells the outcome of all of it.
    void WriteAndCheck(JobEnv& env, const hexprogram::FileText& file);
    // Shows what waits now, or when the interval is up.
    void ShowSoon();
    void ShowNow();

    // The least time between two updates of the view.
    static constexpr int kRepaintIntervalMs = 30;

    std::unique_ptr<Ui::frmReadWrite> ui_;
    Services services_;
    std::optional<Operation> operation_;  // none: the start-up check's notice
    QString hexFile_;
    WriteOptions writeOptions_;
    bool busy_ = false;
    bool endProgramRequested_ = false;

    // What waits to be shown, and since when the view has shown nothing.
    std::optional<QString> pendingText_;
    std::optional<std::pair<int, int>> pendingProgress_;
    bool inCount_ = false;  // a progress between the first and the last word is shown
    QElapsedTimer sinceShown_;
    QTimer showTimer_;
};
