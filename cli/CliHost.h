#pragma once

#include <QString>
#include <cstdio>
#include <functional>
#include <mutex>

#include "shared/Clock.h"
#include "shared/Host.h"

namespace cli {

// Whether `stream` is a terminal, where progress is redrawn in place.
bool IsTerminal(FILE* stream);

// How a progress line is drawn on a stream.
enum class LineStyle {
    None,    // not a terminal: no progress line at all
    Plain,   // a terminal without cursor control (TERM=dumb): carriage return and blanks
    Redraw,  // a terminal: carriage return and erase to the end of the line
};
// The style for `stream` in this environment.
LineStyle LineStyleFor(FILE* stream);

// The shortest time between two redraws of a progress line.
inline constexpr int64_t kRedrawIntervalMs = 100;

// Messages go to stderr as "caption: text", further lines indented; questions
// are answered yes without being printed (the command says what it did
// instead); the save question is answered with the path given on
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

// One updating line on a terminal, redrawn at most every
// kRedrawIntervalMs of `clock` (the last state is drawn before the line
// ends); nothing when `style` is None.
class TerminalProgress final : public LineProgress {
  public:
    TerminalProgress(FILE* err, Clock& clock, LineStyle style);
    ~TerminalProgress() override { EndLine(); }
    void SetStatusText(const QString& text) override;
    void SetProgress(int done, int total) override;
    void SetPhase(const QString&) override {}
    void EndLine() override;

  private:
    void Changed();
    void Draw();
    FILE* err_;
    Clock& clock_;
    LineStyle style_;
    bool drawn_ = false;
    bool pending_ = false;  // a change not drawn yet
    int64_t drawnAtMs_ = 0;
    qsizetype drawnLength_ = 0;
    QString text_;
    int done_ = 0;
    int total_ = 0;
    int lastPercent_ = -1;
};

// Progress as JSON lines for a program that draws its own: one object per
// line, {"writer", "phase", "status", "done", "total"}, at most every
// kRedrawIntervalMs per Writer, and always at a new phase and at the end
// of one. Several Writers may share `err` and `mutex`.
class JsonProgress final : public LineProgress {
  public:
    JsonProgress(FILE* err, Clock& clock, QString writer, std::mutex& mutex);
    void SetWriter(const QString& writer) { writer_ = writer; }
    void SetStatusText(const QString& text) override;
    void SetProgress(int done, int total) override;
    void SetPhase(const QString& phase) override;
    void EndLine() override;

  private:
    void Emit(bool now);
    FILE* err_;
    Clock& clock_;
    QString writer_;
    std::mutex& mutex_;
    QString phase_;
    QString status_;
    int done_ = 0;
    int total_ = 0;
    bool pending_ = false;
    bool emitted_ = false;
    int64_t emittedAtMs_ = 0;
};

}  // namespace cli
