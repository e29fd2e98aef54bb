#pragma once

#include <QString>
#include <cstdio>
#include <functional>

#include "shared/Clock.h"
#include "shared/Host.h"

namespace cli {

// Whether `stream` is a terminal, where progress is redrawn in place.
bool IsTerminal(FILE* stream);

// Messages go to stderr as "caption: text", further lines indented; questions
// are answered yes; the save question is answered with the path given on
// the command line, or the proposed one.
class CliHost final : public Host {
  public:
    CliHost(Clock& clock, FILE* err, QString outputPath)
        : clock_(clock), err_(err), outputPath_(std::move(outputPath)) {}

    void Sleep(int ms) override { clock_.SleepMs(ms); }
    void ProcessEvents() override {}
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<QString> AskSaveFileName(const QString& proposedPath) override;

    // Called before a message is printed, with the message on one line
    // ("caption: text"), so a progress line can end first.
    void setBeforeMessage(std::function<void(const QString&)> hook) {
        beforeMessage_ = std::move(hook);
    }

  private:
    Clock& clock_;
    FILE* err_;
    QString outputPath_;
    std::function<void(const QString&)> beforeMessage_;
};

// A job's progress as the command line shows it: the job's own texts and
// counts, the part of the command that runs ("write", then "verify"), and
// the end of the display before anything else is printed.
class LineProgress : public ProgressView {
  public:
    virtual void SetPhase(const QString& phase) = 0;
    virtual void EndLine() = 0;
};

// One updating line on a terminal; nothing when stderr is not a terminal.
class TerminalProgress final : public LineProgress {
  public:
    explicit TerminalProgress(FILE* err);
    ~TerminalProgress() override { EndLine(); }
    void SetStatusText(const QString& text) override;
    void SetProgress(int done, int total) override;
    void SetPhase(const QString&) override {}
    void EndLine() override;

  private:
    void Redraw();
    FILE* err_;
    bool enabled_;
    bool drawn_ = false;
    QString text_;
    int done_ = 0;
    int total_ = 0;
    int lastPercent_ = -1;
};

}  // namespace cli
