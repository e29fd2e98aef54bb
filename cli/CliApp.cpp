#include "cli/CliApp.h"

#include <algorithm>

#include "backends/Backends.h"
#include "cli/CommandLine.h"
#include "cli/ManyWriters.h"
#include "cli/Runner.h"
#include "shell/SettingsFile.h"

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
        return kLinkFailure;
    }
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

}  // namespace

int Run(const QStringList& arguments, const QString& programDir, Streams streams) {
    const ParsedLine parsed = ParseCommandLine(arguments);
    switch (parsed.outcome) {
        case ParsedLine::Outcome::Help:
            std::fputs(kUsage, streams.out);
            return kSuccess;
        case ParsedLine::Outcome::UsageError:
            std::fprintf(streams.err, "qlarkw-cli: %s\n\n%s", parsed.error.toUtf8().constData(),
                         kUsage);
            return kUsageError;
        case ParsedLine::Outcome::Run:
            break;
    }
    const Request& request = parsed.request;
    if (request.command == CommandId::List) return ListWriters(request, streams);
    const QString settingsPath = SettingsPathFor(programDir, UserSettingsDir());
    if (request.all) return RunOnAll(request, settingsPath, streams);

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
    Runner runner(request, settingsPath, streams);
    runner.setWriterId(request.writer);
    if (const int code = runner.Prepare(); code != kSuccess) return code;
    return runner.RunOn(choice);
}

}  // namespace cli
