#pragma once

#include <QString>

class Device;
class Host;
struct AppState;

// What the start-up Writer check needs from the windows: the operation
// dialog as its progress window and the main window's Timer1.
class StartupCheckView {
  public:
    virtual ~StartupCheckView() = default;
    // Disables the dialog's buttons and shows `text` in its Label1.
    virtual void PrepareCheck(const QString& text) = 0;
    // Shows the dialog without a modal wait.
    virtual void ShowCheck() = 0;
    // Closes the dialog (also when it was never shown).
    virtual void UnloadCheck() = 0;
    // Timer1: started when the check starts, stopped when it ends. Its tick
    // clears AppState::StartupWaitActive; TickTimer() lets it tick when due.
    virtual void StartTimer() = 0;
    virtual void TickTimer() = 0;
    virtual void StopTimer() = 0;
    // The user closed the dialog: the program is to end.
    virtual bool Abandoned() const = 0;
};

enum class StartupCheckResult {
    Answered,   // the Writer answered both polls
    NotOpened,  // the Writer could not be opened (its message has been shown)
    TimedOut,   // Timer1 ended the wait (the failure message has been shown)
    Abandoned,  // the user closed the dialog: end the program, store nothing
};

// Opens the Writer and polls it with 'S' until it answers 's', twice with a
// 500 ms pause between, sends 'C' and closes the link. Sets
// StartupCheckState to 2 when the Writer cannot be opened, else to 0.
StartupCheckResult StartupWriterCheck(Device& device, Host& host, AppState& state,
                                      StartupCheckView& view);
