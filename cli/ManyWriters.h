#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/CommandLine.h"

// One job on several Writers at once (qlarkw-cli --all): every Writer in a
// thread of its own with its own device, host and settings; one progress
// line per Writer while they run, a table of outcomes at the end.
namespace cli {

// How one Writer's job ended.
struct WriterOutcome {
    int exitCode = 0;    // as qlarkw-cli's for one Writer
    QString message;     // the last thing the job said, on one line
    QString transcript;  // everything it printed to stderr
    QString output;      // everything it printed to stdout
    int64_t elapsedMs = 0;
};

// The exit code of a run over many Writers: 0 when every one succeeded,
// else the highest code among them (the codes are ordered from usage error,
// 2, to verify mismatch, 6, so a Writer whose chip does not hold the program
// outweighs one that could not be reached).
int WorstExit(const std::vector<int>& codes);

// The progress lines of all Writers on stderr. On a terminal the block of
// lines is redrawn in place ("w-1  write  37%"); elsewhere a plain line is
// printed when a Writer starts a part of its job, at every quarter, and at
// its end. Safe to call from the Writers' threads.
class ProgressBoard {
  public:
    ProgressBoard(FILE* err, QStringList ids, bool redrawInPlace);
    ~ProgressBoard();

    // The line of Writer `index`, for its job's progress.
    LineProgress& Line(int index);
    // Writer `index` has ended with `exitCode`.
    void Finish(int index, int exitCode);
    // Ends the block: nothing more is drawn.
    void Close();

  private:
    class WriterLine;
    struct State {
        QString phase = QStringLiteral("waiting");
        int percent = -1;  // -1: not known
        bool ended = false;
        int exitCode = 0;
    };
    friend class WriterLine;
    void Update(int index, const std::function<bool(State&)>& change);
    QString Text(int index) const;
    void DrawLocked();

    FILE* err_;
    QStringList ids_;
    bool redrawInPlace_;
    int idWidth_ = 0;
    std::mutex mutex_;
    std::vector<State> states_;
    std::vector<std::unique_ptr<WriterLine>> lines_;
    bool drawn_ = false;
    bool closed_ = false;
};

// Runs `job` for every index from 0 to count - 1, at most `parallel` at
// once (all when 0), each in a thread of its own; returns the outcomes in
// index order, each with its time. A job that throws fails its own Writer
// (a link failure that says what was thrown); the others run on. `ended`,
// when given, is told each outcome in the Writer's thread as it comes.
using WriterJob = std::function<WriterOutcome(int index)>;
using WriterEnded = std::function<void(int index, const WriterOutcome& outcome)>;
std::vector<WriterOutcome> RunEach(int count, int parallel, const WriterJob& job,
                                   const WriterEnded& ended = {});

// The closing table: id, outcome, time, message; then one line of totals.
QString OutcomeTable(const QStringList& ids, const std::vector<WriterOutcome>& outcomes);

// The command on every listed Writer at once. The settings and the input
// file are made ready once, before any Writer is opened, and handed to each
// Writer's job; then each Writer runs in its own thread with its own device
// and host. Each Writer's output, marked with its id, and the table follow.
int RunOnAll(const Request& request, const QString& settingsPath, Streams streams);

}  // namespace cli
