#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "shared/AppState.h"

// The desktop program's command line: the whole argument text after the
// program's name, one string, never split into words.
//
//   ""                 normal start
//   "/F" or "/f" FILE  EEPROM-write start; everything after the switch,
//                      blanks included, is the file
//   PATH.HEX           HEX-file start (any letter case); the file must exist
//   anything else      refused
namespace commandline {

enum class Verdict {
    Accepted,
    WrongArgument,  // "引数の指定が違います"
    CannotLoadFile,  // a ".HEX" path that cannot be read: "指定ファイルを呼出しません。"
};

struct StartRequest {
    Verdict verdict = Verdict::Accepted;
    int16_t StartMode = startmode::kNormal;
    QString StartArgument;
};

// `fileExists` tells whether a file can be read (FileExists in the program).
StartRequest Parse(const QString& commandLine,
                   const std::function<bool(const QString&)>& fileExists);

// The command line as the platform hands it over: on Windows the text after
// the program's name in the process's command line; elsewhere the
// arguments joined again with single blanks.
QString FromArguments(int argc, const char* const* argv);

// The text that follows the program's name in a Windows command line: a
// quoted name ends at its closing quote, an unquoted one at the first blank;
// the blanks after the name belong to the separator, not to the text.
QString AfterProgramName(const QString& processCommandLine);

}  // namespace commandline
