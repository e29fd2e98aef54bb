#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// qlarkw-cli's command line: a command (one word, or two for a command of a
// group such as "eeprom read"), its own arguments and the options, which may
// stand before or after the command.
namespace cli {

// What -h/--help prints.
extern const char kUsage[];
// What follows a usage error's line.
extern const char kUsageHint[];

// The commands, as the usage lists them.
enum class CommandId {
    Write,
    Read,
    Erase,
    Verify,
    Backup,
    Restore,
    EepromRead,
    EepromErase,
    EepromSet,
    EepromWrite,
    Config,
    Version,
    List,
    Doctor,
};

// How progress is shown: one line on a terminal, or JSON lines on stderr.
enum class ProgressMode { Line, Json };

// "write", "eeprom read", ... as the usage names the command.
QString CommandName(CommandId command);

// What the command line asks for.
struct Request {
    CommandId command = CommandId::List;
    QStringList arguments;          // the command's own, as given: the HEX or data file, ...
    int eepromAddress = 0;          // eeprom set: the address, 0 to 63
    int eepromValue = 0;            // eeprom set: the byte, 0 to 255
    QString output;                 // -o: the file read or eeprom read writes
    std::optional<int16_t> board;   // --board: kBoardQLark or kBoardQLark2
    std::optional<int16_t> config;  // --config
    bool verify = false;
    bool verbose = false;
    QString writer;       // --writer: an id from list, or a tty path; empty for the first Writer
    bool all = false;     // --all: the job on every Writer at once
    int jobs = 0;         // --jobs: at most this many at once; 0 for all
    bool eeprom = false;  // --eeprom: write also writes the HEX file's EEPROM bytes
    // --serial START[:STEP] --serial-at ADDR[:BYTES] [--serial-file FILE]
    std::optional<uint32_t> serialStart;
    uint32_t serialStep = 1;
    int serialAt = 0;     // the EEPROM address of the number's lowest byte
    int serialBytes = 0;  // 1 to 4, little-endian; 0 without --serial-at
    QString serialFile;
    QString log;        // --log: the run log to append to
    bool json = false;  // --json: one JSON document on stdout at the end
    ProgressMode progress = ProgressMode::Line;
    bool watch = false;  // write --watch: again whenever the file is saved anew
};

// "-" for a file: standard input or standard output.
inline bool IsStandardStream(const QString& path) {
    return path == u"-";
}

struct ParsedLine {
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::Run;
    Request request;  // with Run
    QString error;    // with UsageError: the reason, without the program's name
};

// The largest number `bytes` bytes hold.
uint64_t SerialMax(int bytes);

// The options are read from left to right and the first -h/--help,
// --version or the first error decides; then come the command and its arguments.
ParsedLine ParseCommandLine(const QStringList& arguments);

}  // namespace cli
