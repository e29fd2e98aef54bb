#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "cli/RunFacts.h"

// One job on several Writers at once (qlarkw-cli --all): every Writer in a
// thread of its own with its own device, host and settings; one progress
// line per Writer while they run, a table of outcomes at the end.
namespace cli {

// How one Writer's job ended: the facts of its run (as the run log writes
// them) and what the table and --json give besides.
struct WriterOutcome {
    RunFacts facts;
    int exitCode = 0;         // as qlarkw-cli's for one Writer
    bool incomplete = false;  // stopped by Ctrl-C part-way through a write
    QString message;          // the last thing the job said, on one line
    QStringList messages;     // everything it said, one line each
    QString transcript;       // everything it printed to stderr
    QString output;           // everything it printed to stdout
    int64_t elapsedMs = 0;
};

class Runner;
// The outcome of `runner`'s run on `writer`, begun at `started`.
WriterOutcome OutcomeOf(const Request& request, const Runner& runner, const QString& writer,
                        const QDateTime& started, int exitCode);

// The JSON document of a run: the program, its version, the command, the
// exit code, and one entry per Writer.
QByteArray JsonReport(const QString& command, int exitCode,
                      const std::vector<WriterOutcome>& outcomes);

// The exit code of a run over many Writers: 0 when every one succeeded,
// else the highest code among them (the codes are ordered from usage error,
// 2, to verify mismatch, 6, so a Writer whose chip does not hold the program
// outweighs one that could not be reached).
int WorstExit(const std::vector<int>& codes);

// The progress lines of all Writers on stderr (none when `err` is null). On
// a terminal that takes cursor control the block of
// lines is redrawn in place ("w-1  write  37%"); elsewhere a plain line is
// printed when a Writer starts a part of its job, at every quarter, and at
// its end. Safe to call from the Writers' threads.
class ProgressBoard {
  public:
    ProgressBoard(FILE* err, QStringList ids, bool redrawInPlace);  // at most every 100 ms
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
    bool pending_ = false;  // a change not drawn yet
    std::chrono::steady_clock::time_point drawnAt_{};
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
// and host. Each Writer's output, marked with its id, and the table follow
// (with --json, the JSON document instead). `stop` stops every Writer's job
// at its next safe point. With --watch, again at each new version of the
// file until `stop` is raised.
int RunOnAll(const Request& request, const QString& settingsPath, Streams streams,
             const std::atomic<bool>& stop);

}  // namespace cli
