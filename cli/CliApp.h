#pragma once

#include <QStringList>
#include <chrono>
#include <cstdio>

// qlarkw-cli: the Writer's jobs from a terminal (program memory, data
// EEPROM, configuration word, firmware version). Run() takes the arguments
// after the program name and returns the exit code.
namespace cli {

enum ExitCode : int {
    kSuccess = 0,
    kUsageError = 2,
    kFileError = 3,    // a file or HEX error
    kLinkFailure = 4,  // no Writer, no answer, a word not acknowledged, a short read
    kNoBoard = 5,      // the Writer reaches no target board
    kVerifyMismatch = 6,
};

struct Streams {
    FILE* out = stdout;
    FILE* err = stderr;
};

// `programDir` is the program's folder: the settings file "qlarkw.ini" is
// kept there or in the user's configuration folder (SettingsPathFor).
int Run(const QStringList& arguments, const QString& programDir, Streams streams = {});

}  // namespace cli
