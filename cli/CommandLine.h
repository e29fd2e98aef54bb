#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// qlarkw-cli's command line: a command, its own arguments and the options,
// which may stand before or after the command.
namespace cli {

// What -h/--help prints, and what follows a usage error.
extern const char kUsage[];

// What the command line asks for.
struct Request {
    QString command;                // "write", "read", "erase" or "verify"
    QStringList arguments;          // the command's own: the HEX file of write and verify
    QString output;                 // -o: the file read writes
    std::optional<int16_t> board;   // --board: kBoardQLark or kBoardQLark2
    std::optional<int16_t> config;  // --config
    bool verify = false;
    bool verbose = false;
};

struct ParsedLine {
    enum class Outcome { Run, Help, UsageError };
    Outcome outcome = Outcome::Run;
    Request request;  // with Run
    QString error;    // with UsageError: the reason, without the program's name
};

// The options are read from left to right and the first -h/--help or the
// first error decides; then come the command and its arguments.
ParsedLine ParseCommandLine(const QStringList& arguments);

}  // namespace cli
