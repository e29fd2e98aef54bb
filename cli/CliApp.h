#pragma once

#include <QStringList>
#include <cstdio>

#include "cli/ExitCodes.h"

// qlarkw-cli: the Writer's jobs from a terminal (program memory, data
// EEPROM, configuration word, firmware version). Run() takes the arguments
// after the program name and returns the exit code.
namespace cli {

struct Streams {
    FILE* out = stdout;
    FILE* err = stderr;
};

// `programDir` is the program's folder: the settings file "qlarkw.ini" is
// kept there or in the user's configuration folder (SettingsPathFor).
int Run(const QStringList& arguments, const QString& programDir, Streams streams = {});

}  // namespace cli
