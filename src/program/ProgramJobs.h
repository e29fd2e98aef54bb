#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "jobs/JobEnv.h"
#include "link/protocol/MemoryMap.h"
#include "program/HexProgram.h"

class Host;
class ProgressView;
struct AppState;

// The program-memory jobs. Each opens the Writer, runs its exchange, closes
// the Writer again and tells the user the outcome through the Host. They
// return the outcome as well, for callers that act on it (the command line).

// Everything the read-out brings back: program memory and the
// configuration block (words 0x2000..0x2007).
struct ProgramImage {
    std::array<uint16_t, memorymap::kProgramWords> program{};
    std::array<uint16_t, memorymap::kConfigWords> config{};
};

enum class ConfigLoad { Found, NotFound, HexError };

// Copies the configuration word (word 0x2007) of the HEX file into
// ConfigWord, or shows the HEX error. ConfigWord stays as it was when the
// file has no configuration word.
ConfigLoad LoadHexConfigWord(Host& host, AppState& state, const hexprogram::FileText& file);

// Checks the HEX file as the write takes it (see hexprogram::PlanWrite). On
// an error shows the message the write gives for it and returns nothing,
// with `outcome` set to FileError or HexError.
std::optional<hexprogram::WritePlan> CheckHexFile(Host& host, const hexprogram::FileText& file,
                                                  JobOutcome* outcome);

// Checks the whole HEX file, then programs its data records and
// ConfigWord's low seven bits. A file with an error is refused before the
// Writer is opened.
JobOutcome WritePrgComm(JobEnv& env, const hexprogram::FileText& file, ProgressView& view);
// The same for the file at `hexPath`, read once.
JobOutcome WritePrgComm(JobEnv& env, const QString& hexPath, ProgressView& view);
// The write of a plan CheckHexFile has made.
JobOutcome WritePrgComm(JobEnv& env, const hexprogram::WritePlan& plan, ProgressView& view);

// Reads program memory and the configuration block, asks where to save
// them and writes the HEX file there. When the file cannot be written the
// outcome is FileError, and `fileWhy` (when given) names the file and the
// reason, beyond the message shown.
JobOutcome ReadPrgComm(JobEnv& env, ProgressView& view, QString* fileWhy = nullptr);

// The read-out without the file: fills `image` on success. Failures have
// been reported when it returns.
JobOutcome ReadProgramMemory(JobEnv& env, ProgressView& view, ProgramImage* image);

// A word of program memory that is not the file's.
struct WordDifference {
    int address = 0;
    uint16_t file = 0;
    uint16_t chip = 0;
    bool operator==(const WordDifference&) const = default;
};

// Bits 6..0 of the configuration word as written (ConfigWord's) and as read.
struct ConfigBitsDifference {
    int file = 0;
    int chip = 0;
    bool operator==(const ConfigBitsDifference&) const = default;
};

struct ProgramVerifyResult {
    // Done, Mismatch, or the read-out's failure (reported by then).
    JobOutcome outcome = JobOutcome::Done;
    int compared = 0;                   // the plan's words within program memory
    std::vector<WordDifference> words;  // in the plan's order
    std::optional<ConfigBitsDifference> configBits;
    // Every word of program memory read back as 0: what a chip whose code
    // is protected shows.
    bool chipAllZero = false;
};

// Reads program memory and the configuration block and compares them with
// what a write of `plan` programs: the plan's words within program memory
// and ConfigWord's low seven bits. Tells nothing of the comparison: the
// caller shows the differences in its own way.
ProgramVerifyResult VerifyProgram(JobEnv& env, const hexprogram::WritePlan& plan,
                                  ProgressView& view);

// Erases all of program memory.
JobOutcome ErasePrgComm(JobEnv& env);

// The read-out file: 128 program records of 16 bytes, the configuration
// block record and the end record, each line ended by CR LF.
QByteArray FormatReadOutFile(const ProgramImage& image);

// "アドレス " + address right-aligned in four upper-case hex digits + suffix.
QString AddressText(int address, const char* suffix);
