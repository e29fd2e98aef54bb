#include "cli/RunLog.h"

#include <QStringList>

#include "shared/OutputFile.h"

#include "cli/ExitCodes.h"

namespace cli {

QString OutcomeWord(int exitCode) {
    switch (exitCode) {
        case kSuccess:
            return QStringLiteral("ok");
        case kUsageError:
            return QStringLiteral("usage error (2)");
        case kFileError:
            return QStringLiteral("file error (3)");
        case kLinkFailure:
            return QStringLiteral("link failure (4)");
        case kNoBoard:
            return QStringLiteral("no board (5)");
        case kVerifyMismatch:
            return QStringLiteral("verify mismatch (6)");
        case kInterrupted:
            return QStringLiteral("interrupted (130)");
        default:
            return QStringLiteral("failed (%1)").arg(exitCode);
    }
}

QString CsvField(const QString& text) {
    const bool quoted = text.contains(u',') || text.contains(u'"') || text.contains(u'\n') ||
                        text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quoted) return text;
    QString field = text;
    field.replace(u'"', QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QByteArray CsvLine(const RunFacts& facts) {
    const QStringList fields = {
        facts.started.toString(Qt::ISODate),
        facts.writer,
        facts.command,
        facts.file,
        facts.sha256,
        facts.serial ? QString::number(*facts.serial) : QString(),
        facts.outcome,
        QString::number(facts.exitCode),
        QString::number(facts.seconds, 'f', 1),
        facts.message,
    };
    QStringList line;
    for (const QString& field : fields) line << CsvField(field);
    return (line.join(u',') + QStringLiteral("\r\n")).toUtf8();
}

bool AppendToLog(const QString& path, const RunFacts& facts, QString* why) {
    outputfile::AppendFile log;
    if (log.Open(path, why) != outputfile::Error::None) return false;
    return log.AppendLocked(CsvLine(facts), why);
}

}  // namespace cli
