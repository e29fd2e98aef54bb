#pragma once

#include <QString>
#include <optional>

// What a job needs from the program around it. Jobs never touch widgets or
// the terminal themselves; the desktop program, the command line and the
// tests each provide a Host.
//
// Contract:
//  - Sleep(ms) blocks the job for the given time (the fixed pauses of every
//    exchange). The desktop host blocks the user-interface thread, as the
//    exchanges do; the test host advances a virtual clock.
//  - ProcessEvents() lets pending window events run (repaint, user input).
//    Hosts without windows do nothing.
//  - MessageBox() shows a modal message and returns the button chosen. Texts
//    with two lines are joined with CR LF, as the Writer's messages are.
//  - AskSaveFileName() is the read-out's save question: it proposes a path
//    and returns the chosen one, or nothing when the user cancelled. The host
//    asks before overwriting an existing file.
enum class MsgIcon { None, Critical, Question, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Host {
  public:
    virtual ~Host() = default;
    virtual void Sleep(int ms) = 0;
    virtual void ProcessEvents() = 0;
    virtual MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                 MsgButtons buttons = MsgButtons::Ok) = 0;
    virtual std::optional<QString> AskSaveFileName(const QString& proposedPath) = 0;
};

// The view a job reports its progress to: the operation dialog's Label1 and
// progress bar, or the terminal's status line.
class ProgressView {
  public:
    virtual ~ProgressView() = default;
    virtual void SetStatusText(const QString& text) = 0;
    // done of total words; total 0 means "unknown".
    virtual void SetProgress(int done, int total) = 0;
};

// A view that shows nothing.
class NullProgressView final : public ProgressView {
  public:
    void SetStatusText(const QString&) override {}
    void SetProgress(int, int) override {}
};
