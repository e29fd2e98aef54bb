#include "cli/FileWatch.h"

#include "cli/CliApp.h"
#include "cli/CommandLine.h"
#include "shared/Clock.h"
#include "shared/InputFile.h"
#include "shared/IntelHex.h"

namespace cli {

FileWatch::FileWatch(QString path, Clock& clock, const std::atomic<bool>& stop, WatchTiming timing)
    : path_(std::move(path)), clock_(clock), stop_(stop), timing_(timing) {}

QString WholeHexProblem(const hexprogram::FileText& file) {
    if (!file.opened()) return QStringLiteral("not there or not readable");
    if (!file.complete) return QStringLiteral("not read to its end");
    const hexprogram::WritePlan plan = hexprogram::PlanWrite(file.text);
    if (plan.error != hexprogram::WalkError::None) {
        const QString reason = plan.recordError != hex::RecordError::None
                                   ? QLatin1String(hex::RecordErrorName(plan.recordError))
                                   : QStringLiteral("not a record the write takes");
        return QStringLiteral("line %1: %2").arg(plan.errorLine).arg(reason);
    }
    // A file cut off at the end of a line checks well up to there: only its
    // end record tells that it is whole.
    for (const QByteArray& line : hex::SplitLines(file.text)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (parsed.ok() && parsed.record.isEnd()) return {};
    }
    return QStringLiteral("no end record yet");
}

std::optional<hexprogram::FileText> FileWatch::Next(
    const QByteArray& last, const std::function<void(const QString&)>& say) {
    std::optional<hexprogram::FileText> candidate;  // the version seen last, unless it is `last`
    int64_t sinceMs = 0;
    bool told = false;
    while (!stop_.load()) {
        hexprogram::FileText now = hexprogram::ReadFile(path_);
        const bool same = candidate && candidate->openError == now.openError &&
                          candidate->complete == now.complete && candidate->text == now.text;
        if (now.opened() && now.complete && now.text == last) {
            candidate.reset();  // back to what was written last: nothing to do
        } else if (!same) {
            candidate = std::move(now);
            sinceMs = clock_.NowMs();
            told = false;
        } else if (clock_.NowMs() - sinceMs >= timing_.settleMs) {
            const QString problem = WholeHexProblem(*candidate);
            if (problem.isEmpty()) return candidate;
            if (!told && say) say(problem);
            told = true;
        }
        clock_.SleepMs(timing_.pollMs);
    }
    return std::nullopt;
}

int WatchAndRun(const Request& request, Streams streams, const std::atomic<bool>& stop,
                QByteArray written, const std::function<int(const hexprogram::FileText&)>& write) {
    const QString path = request.arguments.value(0);
    auto say = [&streams](const QString& line) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n", line.toUtf8().constData());
        std::fflush(streams.err);
    };
    SteadyClock clock;
    FileWatch watch(path, clock, stop);
    for (;;) {
        say(QStringLiteral("watch: waiting for %1 to be saved again (Ctrl-C ends)").arg(path));
        const std::optional<hexprogram::FileText> next =
            watch.Next(written, [&](const QString& problem) {
                say(QStringLiteral("watch: %1 is not a whole HEX file yet (%2); waiting")
                        .arg(path, problem));
            });
        if (!next) break;
        say(QStringLiteral("watch: %1 changed; writing it").arg(path));
        written = next->text;
        write(*next);
        if (stop.load()) break;
    }
    say(QStringLiteral("watch: ended by Ctrl-C"));
    return kInterrupted;
}

}  // namespace cli
