#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

// The facts of one Writer's run of one command: what the run log writes as
// one line, and what a machine-readable report gives per Writer.
namespace cli {

struct RunFacts {
    QDateTime started;               // when the job began, local time with its offset
    QString writer;                  // the Writer's id (w-1, ...), or the device it was opened as
    QString command;                 // "write", "eeprom write", ...
    QString file;                    // the file the job read or wrote, as given; empty for none
    QString sha256;                  // that file's SHA-256 in lower-case hex; empty for none
    std::optional<uint32_t> serial;  // the serial number the chip got
    QString outcome;                 // "ok", "link failure", ... (OutcomeWord)
    int exitCode = 0;
    double seconds = 0;  // how long the job took
    QString message;     // the job's last message, on one line
};

// The outcome of an exit code in words: "ok", "file error", ...
QString OutcomeWord(int exitCode);

}  // namespace cli
