#pragma once

#include <QByteArray>
#include <QString>

#include "cli/RunFacts.h"

// The run log (--log FILE.csv): one line per Writer per job, appended, in
// comma-separated values as RFC 4180 writes them. The fields: time (ISO 8601
// with the offset), Writer, command, file, the file's SHA-256, serial number,
// outcome, exit code, seconds, message.
namespace cli {

// One field: as it is, or between double quotes (doubled inside) when it
// holds a comma, a double quote, a line break or a blank at either end.
QString CsvField(const QString& text);

// One line of the log, ended by CR LF, in UTF-8.
QByteArray CsvLine(const RunFacts& facts);

// Appends the line of `facts` to `path` with one write under an exclusive
// advisory lock, so that lines from the threads of one run and from runs at
// the same time never interleave. False, and `why`, when it cannot.
bool AppendToLog(const QString& path, const RunFacts& facts, QString* why);

}  // namespace cli
