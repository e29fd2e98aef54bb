#include "cli/ManyWriters.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "backends/Backends.h"
#include "cli/FileWatch.h"
#include "cli/RunFacts.h"
#include "cli/Runner.h"
#include "cli/Transcript.h"
#include "shared/Clock.h"
#include "version/ProgramVersion.h"

namespace cli {

namespace {

constexpr int kPlainStepPercent = 25;  // plain lines: one per quarter

// The outcome of a Writer whose job threw `what`.
WriterOutcome Thrown(const QString& what) {
    WriterOutcome outcome;
    outcome.exitCode = kLinkFailure;
    outcome.message = QStringLiteral("qlarkw-cli: the job ended on an unexpected error: ") + what;
    outcome.transcript = outcome.message + u'\n';
    return outcome;
}

// One Writer's job, timed, and the boundary around it: nothing it throws
// goes further than its own outcome.
WriterOutcome RunOne(const WriterJob& job, int index) {
    const auto started = std::chrono::steady_clock::now();
    WriterOutcome outcome;
    try {
        outcome = job(index);
    } catch (const std::exception& error) {
        outcome = Thrown(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        outcome = Thrown(QStringLiteral("an exception of unknown type"));
    }
    outcome.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
    return outcome;
}

}  // namespace

int WorstExit(const std::vector<int>& codes) {
    int worst = kSuccess;
    for (const int code : codes) worst = std::max(worst, code);
    return worst;
}

// One Writer's line: the job's counts become its percent; its status texts
// stay off the board (the job's own words are in the table at the end).
class ProgressBoard::WriterLine final : public LineProgress {
  public:
    WriterLine(ProgressBoard& board, int index) : board_(board), index_(index) {}
    void SetStatusText(const QString&) override {}
    void SetProgress(int done, int total) override {
        const int percent = total > 0 ? done * 100 / total : -1;
        board_.Update(index_, [percent](State& state) {
            if (state.percent == percent) return false;
            state.percent = percent;
            return true;
        });
    }
    void SetPhase(const QString& phase) override {
        board_.Update(index_, [&phase](State& state) {
            if (state.phase == phase) return false;
            state.phase = phase;
            state.percent = -1;
            return true;
        });
    }
    void EndLine() override {}

  private:
    ProgressBoard& board_;
    int index_;
};

ProgressBoard::ProgressBoard(FILE* err, QStringList ids, bool redrawInPlace)
    : err_(err), ids_(std::move(ids)), redrawInPlace_(redrawInPlace), states_(ids_.size()) {
    for (const QString& id : ids_) idWidth_ = std::max(idWidth_, static_cast<int>(id.size()));
    for (int i = 0; i < ids_.size(); ++i) lines_.push_back(std::make_unique<WriterLine>(*this, i));
    std::lock_guard lock(mutex_);
    if (redrawInPlace_) DrawLocked();
}

ProgressBoard::~ProgressBoard() {
    Close();
}

LineProgress& ProgressBoard::Line(int index) {
    return *lines_.at(index);
}

void ProgressBoard::Finish(int index, int exitCode) {
    Update(index, [exitCode](State& state) {
        state.ended = true;
        state.exitCode = exitCode;
        return true;
    });
}

void ProgressBoard::Close() {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (pending_) DrawLocked();
    closed_ = true;
}

QString ProgressBoard::Text(int index) const {
    const State& state = states_[index];
    QString text = ids_[index].leftJustified(idWidth_) + QStringLiteral("  ");
    if (state.ended)
        return text +
               (state.exitCode == kSuccess ? QStringLiteral("done") : OutcomeWord(state.exitCode));
    text += state.phase.leftJustified(12);
    if (state.percent >= 0) text += QStringLiteral(" %1%").arg(state.percent, 3);
    while (text.endsWith(u' ')) text.chop(1);
    return text;
}

void ProgressBoard::Update(int index, const std::function<bool(State&)>& change) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    State& state = states_[index];
    const State before = state;
    if (!change(state)) return;
    if (redrawInPlace_) {
        // At most every kRedrawIntervalMs, but at once when a Writer ends
        // or starts a part of its job.
        const auto now = std::chrono::steady_clock::now();
        if (!state.ended && state.phase == before.phase &&
            now - drawnAt_ < std::chrono::milliseconds(kRedrawIntervalMs)) {
            pending_ = true;
            return;
        }
        DrawLocked();
        return;
    }
    // Plain lines: a new part of the job, a quarter more, the end.
    const bool step = state.percent >= 0 &&
                      state.percent / kPlainStepPercent != before.percent / kPlainStepPercent;
    if (!err_) return;
    if (state.ended || state.phase != before.phase || (step && state.percent > before.percent)) {
        std::fprintf(err_, "%s\n", Text(index).toUtf8().constData());
        std::fflush(err_);
    }
}

void ProgressBoard::DrawLocked() {
    if (!err_) return;
    drawnAt_ = std::chrono::steady_clock::now();
    pending_ = false;
    QString block;
    // Back to the first line of the block, then every line anew.
    if (drawn_) block += QStringLiteral("\033[%1A").arg(ids_.size());
    for (int i = 0; i < ids_.size(); ++i) block += QStringLiteral("\r\033[K") + Text(i) + u'\n';
    std::fputs(block.toUtf8().constData(), err_);
    std::fflush(err_);
    drawn_ = true;
}

std::vector<WriterOutcome> RunEach(int count, int parallel, const WriterJob& job,
                                   const WriterEnded& ended) {
    std::vector<WriterOutcome> outcomes(std::max(count, 0));
    if (count <= 0) return outcomes;
    const int threads = parallel > 0 ? std::min(parallel, count) : count;
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&]() {
            for (int index = next++; index < count; index = next++) {
                outcomes[index] = RunOne(job, index);
                if (ended) ended(index, outcomes[index]);
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    return outcomes;
}

QString OutcomeTable(const QStringList& ids, const std::vector<WriterOutcome>& outcomes) {
    int idWidth = 2;
    int outcomeWidth = 7;
    for (int i = 0; i < ids.size(); ++i) {
        idWidth = std::max(idWidth, static_cast<int>(ids[i].size()));
        const QString incomplete =
            outcomes[i].incomplete ? QStringLiteral(", chip incomplete") : QString();
        outcomeWidth =
            std::max(outcomeWidth,
                     static_cast<int>((OutcomeWord(outcomes[i].exitCode) + incomplete).size()));
    }
    auto row = [&](const QString& id, const QString& outcome, const QString& time,
                   const QString& message) {
        return (id.leftJustified(idWidth) + QStringLiteral("  ") +
                outcome.leftJustified(outcomeWidth) + QStringLiteral("  ") +
                time.rightJustified(7) + QStringLiteral("  ") + message)
                   .trimmed() +
               u'\n';
    };
    QString table = row(QStringLiteral("ID"), QStringLiteral("OUTCOME"), QStringLiteral("TIME"),
                        QStringLiteral("MESSAGE"));
    int succeeded = 0;
    for (int i = 0; i < ids.size(); ++i) {
        const WriterOutcome& outcome = outcomes[i];
        if (outcome.exitCode == kSuccess) ++succeeded;
        table +=
            row(ids[i],
                OutcomeWord(outcome.exitCode) +
                    (outcome.incomplete ? QStringLiteral(", chip incomplete") : QString()),
                QStringLiteral("%1 s").arg(outcome.elapsedMs / 1000.0, 0, 'f', 1), outcome.message);
    }
    table += QStringLiteral("%1 of %2 Writer(s) succeeded\n").arg(succeeded).arg(ids.size());
    return table;
}

QByteArray JsonReport(const QString& command, int exitCode,
                      const std::vector<WriterOutcome>& outcomes) {
    QJsonArray writers;
    for (const WriterOutcome& outcome : outcomes) {
        QJsonArray output;
        for (const QString& line : outcome.output.split(u'\n', Qt::SkipEmptyParts)) output << line;
        const RunFacts& facts = outcome.facts;
        writers << QJsonObject{
            {QStringLiteral("writer"), facts.writer},
            {QStringLiteral("command"), facts.command},
            {QStringLiteral("file"), facts.file},
            {QStringLiteral("sha256"), facts.sha256},
            {QStringLiteral("serial"),
             facts.serial ? QJsonValue(static_cast<qint64>(*facts.serial)) : QJsonValue()},
            {QStringLiteral("started"), facts.started.toString(Qt::ISODateWithMs)},
            {QStringLiteral("exitCode"), outcome.exitCode},
            {QStringLiteral("outcome"), OutcomeWord(outcome.exitCode)},
            {QStringLiteral("incomplete"), outcome.incomplete},
            {QStringLiteral("seconds"), outcome.elapsedMs / 1000.0},
            {QStringLiteral("message"), outcome.message},
            {QStringLiteral("messages"), QJsonArray::fromStringList(outcome.messages)},
            {QStringLiteral("output"), output},
        };
    }
    const QJsonObject report{
        {QStringLiteral("program"), QStringLiteral("qlarkw-cli")},
        {QStringLiteral("version"), QLatin1String(programversion::kText)},
        {QStringLiteral("command"), command},
        {QStringLiteral("exitCode"), exitCode},
        {QStringLiteral("writers"), writers},
    };
    return QJsonDocument(report).toJson(QJsonDocument::Indented);
}

namespace {}  // namespace

WriterOutcome OutcomeOf(const Request& request, const Runner& runner, const QString& writer,
                        const QDateTime& started, int exitCode) {
    WriterOutcome outcome;
    outcome.facts = runner.facts();
    // A run that ended before its Writer was opened has only these.
    RunFacts& facts = outcome.facts;
    if (facts.command.isEmpty()) {
        facts.started = started;
        facts.writer = writer;
        facts.command = CommandName(request.command);
        facts.file = request.arguments.value(0, request.output);
        facts.exitCode = exitCode;
        facts.outcome = OutcomeWord(exitCode);
        facts.message = runner.lastSaid();
    }
    outcome.exitCode = exitCode;
    outcome.incomplete = runner.incomplete();
    outcome.message = runner.lastSaid();
    outcome.messages = runner.said();
    return outcome;
}

namespace {

// The prepared command once on every Writer of `writers`; each Writer's
// output and the table, or the JSON document, follow. Returns the exit code.
int RunAllOnce(const Request& request, const QString& settingsPath, Streams streams,
               const Prepared& prepared, const std::vector<backends::WriterEntry>& writers,
               const std::atomic<bool>& stop) {
    QStringList ids;
    for (const backends::WriterEntry& entry : writers) ids << entry.id;
    const bool json = request.progress == ProgressMode::Json;
    ProgressBoard board(json ? nullptr : streams.err, ids,
                        LineStyleFor(streams.err) == LineStyle::Redraw);
    SteadyClock clock;
    std::mutex jsonMutex;
    std::vector<std::unique_ptr<JsonProgress>> jsonLines;
    for (const QString& id : ids) {
        jsonLines.push_back(json ? std::make_unique<JsonProgress>(streams.err, clock, id, jsonMutex)
                                 : nullptr);
    }
    std::vector<WriterOutcome> outcomes = RunEach(
        static_cast<int>(writers.size()), request.jobs,
        [&](int index) {
            WriterOutcome outcome;
            Transcript err;
            Transcript out;
            if (!err.ok() || !out.ok()) {
                outcome.exitCode = kFileError;
                outcome.message = QStringLiteral("no temporary file for the job's messages");
                return outcome;
            }
            const QDateTime started = QDateTime::currentDateTime();
            LineProgress& progress =
                json ? static_cast<LineProgress&>(*jsonLines[index]) : board.Line(index);
            Runner runner(request, settingsPath, Streams{out.file(), err.file()}, &progress, &stop);
            runner.setPrepared(prepared);
            runner.setWriterId(ids[index]);
            outcome = OutcomeOf(request, runner, ids[index], started,
                                runner.RunOn(writers[index].choice));
            outcome.transcript = err.Text();
            outcome.output = out.Text();
            return outcome;
        },
        [&board](int index, const WriterOutcome& outcome) {
            board.Finish(index, outcome.exitCode);
        });
    board.Close();
    for (size_t i = 0; i < outcomes.size(); ++i) outcomes[i].facts.writer = ids[i];

    // What each Writer printed, marked with its id: the results on stdout,
    // the messages of those that failed on stderr.
    std::vector<int> codes;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const WriterOutcome& outcome = outcomes[i];
        codes.push_back(outcome.exitCode);
        auto print = [&](FILE* stream, const QString& text) {
            for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
                std::fprintf(stream, "%s: %s\n", ids[i].toUtf8().constData(),
                             line.toUtf8().constData());
        };
        if (outcome.exitCode != kSuccess) print(streams.err, outcome.transcript);
        if (!request.json) print(streams.out, outcome.output);
    }
    std::fflush(streams.err);
    const int code = WorstExit(codes);
    if (request.json)
        std::fputs(JsonReport(CommandName(request.command), code, outcomes).constData(),
                   streams.out);
    else
        std::fputs(OutcomeTable(ids, outcomes).toUtf8().constData(), streams.out);
    std::fflush(streams.out);
    return code;
}

}  // namespace

int RunOnAll(const Request& request, const QString& settingsPath, Streams streams,
             const std::atomic<bool>& stop) {
    const backends::WriterList list = backends::List(backends::DeviceChoiceFromEnvironment());
    if (!list.error.isEmpty()) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
        return kUsageError;
    }
    if (list.writers.empty()) {
        for (const QString& note : list.notes)
            std::fprintf(streams.err, "qlarkw-cli: %s\n", note.toUtf8().constData());
        std::fprintf(streams.err, "qlarkw-cli: no Writer found for --all\n");
        return kLinkFailure;
    }
    Prepared prepared;
    {
        Runner check(request, settingsPath, streams);
        if (const int code = check.Prepare(); code != kSuccess) return code;
        prepared = check.prepared();
    }
    int code = RunAllOnce(request, settingsPath, streams, prepared, list.writers, stop);
    if (!request.watch) return code;
    return WatchAndRun(
        request, streams, stop, prepared.hexText, [&](const hexprogram::FileText& file) {
            Runner check(request, settingsPath, streams);
            check.shareSerials(prepared.serials);
            if (const int refused = check.Prepare(&file); refused != kSuccess) return refused;
            return RunAllOnce(request, settingsPath, streams, check.prepared(), list.writers, stop);
        });
}

}  // namespace cli
