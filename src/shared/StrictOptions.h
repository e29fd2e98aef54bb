#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

// Our programs take their options as their usage spells them, and the two
// spellings every command-line tool takes: "--output=FILE" for a long option
// with a value, and "--" to end the options. Not "-output", "--o",
// "-o=FILE" or "--verify=1", which QCommandLineParser would take or name
// without their dashes; these helpers find the first argument a program
// refuses, so that its message can name it as it was written.
namespace strictoptions {

// "-h" for a one-letter name, "--pace" for the others.
QString Spelled(const QString& name);

// The first argument of `line` (the program's name first) that is not one
// of `options` the way the usage spells it, nor the value of one, as its
// index in `line`; -1 when there is none. With `wordsAllowed`, other words
// (a command and its arguments) pass, and so does everything after "--";
// without, "--" may only end the line. An option that
// takes a value takes the argument after it, whatever it looks like; one
// at the end of the line without its value is left to the option's own
// check. One pass over the line, however long.
qsizetype FirstRefused(const QList<QCommandLineOption>& options, const QStringList& line,
                       bool wordsAllowed);

}  // namespace strictoptions
