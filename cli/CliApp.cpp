#include "cli/CliApp.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>

#include "backends/Backends.h"
#include "cli/CommandLine.h"
#include "cli/Doctor.h"
#include "cli/FileWatch.h"
#include "cli/Interrupt.h"
#include "cli/ManyWriters.h"
#include "cli/Runner.h"
#include "cli/Transcript.h"
#include "shell/SettingsFile.h"
#include "version/ProgramVersion.h"

namespace cli {
namespace {

// qlarkw-cli list: one line per Writer, the columns aligned.
int ListWriters(const Request& request, Streams streams) {
    const backends::WriterList list = backends::List(backends::DeviceChoiceFromEnvironment());
    if (!list.error.isEmpty()) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
        return kUsageError;
    }
    if (list.writers.empty() || request.verbose) {
        for (const QString& note : list.notes)
            std::fprintf(streams.err, "qlarkw-cli: %s\n", note.toUtf8().constData());
    }
    if (list.writers.empty()) {
        std::fprintf(streams.err, "qlarkw-cli: no Writer found (QLARKW_DEVICE=%s)\n",
                     backends::DeviceChoiceFromEnvironment().toUtf8().constData());
    }
    const int code = list.writers.empty() ? kLinkFailure : kSuccess;
    if (request.json) {
        QJsonArray writers;
        for (const backends::WriterEntry& entry : list.writers) {
            writers << QJsonObject{{QStringLiteral("id"), entry.id},
                                   {QStringLiteral("backend"), entry.backend},
                                   {QStringLiteral("location"), entry.location}};
        }
        const QJsonObject report{{QStringLiteral("program"), QStringLiteral("qlarkw-cli")},
                                 {QStringLiteral("version"), QLatin1String(programversion::kText)},
                                 {QStringLiteral("command"), QStringLiteral("list")},
                                 {QStringLiteral("exitCode"), code},
                                 {QStringLiteral("writers"), writers}};
        std::fputs(QJsonDocument(report).toJson(QJsonDocument::Indented).constData(), streams.out);
        return code;
    }
    if (code != kSuccess) return code;
    int idWidth = 0;
    for (const backends::WriterEntry& entry : list.writers)
        idWidth = std::max(idWidth, static_cast<int>(entry.id.size()));
    for (const backends::WriterEntry& entry : list.writers) {
        const QString line = entry.id.leftJustified(idWidth) + QStringLiteral("  ") +
                             entry.backend.leftJustified(6) + QStringLiteral("  ") + entry.location;
        std::fprintf(streams.out, "%s\n", line.toUtf8().constData());
    }
    return kSuccess;
}

// The command on one Writer, once prepared; with --json its facts become
// the JSON document on stdout.
int RunOnOne(const Request& request, const QString& settingsPath, const QString& choice,
             const QString& id, Streams streams, const hexprogram::FileText* hexFile,
             std::shared_ptr<SerialNumbers>& serials, QByteArray* tried = nullptr) {
    Transcript capture;
    const bool json = request.json && capture.file();
    if (request.json && !json) {
        std::fprintf(streams.err, "qlarkw-cli: no temporary file for the JSON document\n");
        return kFileError;
    }
    const QDateTime started = QDateTime::currentDateTime();
    const auto startedAt = std::chrono::steady_clock::now();
    Runner runner(request, settingsPath, Streams{json ? capture.file() : streams.out, streams.err},
                  nullptr, &StopFlag());
    runner.setWriterId(id);
    runner.shareSerials(serials);
    int code = runner.Prepare(hexFile);
    serials = runner.prepared().serials;
    if (code == kSuccess) code = runner.RunOn(choice);
    if (tried) *tried = runner.prepared().hexText;
    if (!json) return code;
    WriterOutcome outcome = OutcomeOf(request, runner, id, started, code);
    outcome.output = capture.Text();
    outcome.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - startedAt)
                            .count();
    std::fputs(JsonReport(outcome.facts.command, code, {outcome}).constData(), streams.out);
    std::fflush(streams.out);
    return code;
}

}  // namespace

int Run(const QStringList& arguments, const QString& programDir, Streams streams) {
    const ParsedLine parsed = ParseCommandLine(arguments);
    switch (parsed.outcome) {
        case ParsedLine::Outcome::Help:
            std::fputs(kUsage, streams.out);
            return kSuccess;
        case ParsedLine::Outcome::Version:
            std::fprintf(streams.out, "qlarkw-cli %s\n", programversion::kText);
            return kSuccess;
        case ParsedLine::Outcome::UsageError:
            std::fprintf(streams.err, "qlarkw-cli: %s\n%s", parsed.error.toUtf8().constData(),
                         kUsageHint);
            return kUsageError;
        case ParsedLine::Outcome::Run:
            break;
    }
    const Request& request = parsed.request;
    if (request.command == CommandId::List) return ListWriters(request, streams);
    if (request.command == CommandId::Doctor) return RunDoctor(request, streams, DoctorRoots());
    const QString settingsPath = SettingsPathFor(programDir, UserSettingsDir());
    if (request.all) return RunOnAll(request, settingsPath, streams, StopFlag());

    QString choice = backends::DeviceChoiceFromEnvironment();
    if (!request.writer.isEmpty()) {
        const backends::WriterList list = backends::List(choice);
        if (!list.error.isEmpty()) {
            std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
            return kUsageError;
        }
        const std::optional<backends::WriterEntry> entry =
            backends::FindWriter(list, request.writer);
        if (!entry) {
            std::fprintf(streams.err,
                         "qlarkw-cli: no Writer \"%s\" (qlarkw-cli list shows the Writers)\n",
                         request.writer.toUtf8().constData());
            return kLinkFailure;
        }
        choice = entry->choice;
    }
    const QString id = request.writer.isEmpty() ? choice : request.writer;
    QByteArray tried;  // the text of the file the first write took, good or not
    std::shared_ptr<SerialNumbers> serials;  // one series for every write of --watch
    const int code = RunOnOne(request, settingsPath, choice, id, streams, nullptr, serials, &tried);
    if (!request.watch || code == kInterrupted) return code;
    if (tried.isEmpty()) tried = hexprogram::ReadFile(request.arguments.value(0)).text;
    return WatchAndRun(request, streams, StopFlag(), tried, [&](const hexprogram::FileText& file) {
        return RunOnOne(request, settingsPath, choice, id, streams, &file, serials);
    });
}

}  // namespace cli
