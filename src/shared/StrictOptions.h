#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

// Our programs take their options only as their usage spells them: "-o" and
// "--output", not "--output=FILE", "-output" or "--o", and no "--" to end the
// options. QCommandLineParser takes all of these, and names an unknown option
// without its dashes and apart from the known ones; these helpers find the
// first argument a program refuses, so that its message can name it as it
// was written.
namespace strictoptions {

// "-h" for a one-letter name, "--pace" for the others.
QString Spelled(const QString& name);

// The first argument of `line` (the program's name first) that is not one
// of `options` the way the usage spells it, nor the value of one, as its
// index in `line`; -1 when there is none. With `wordsAllowed`, other words
// (a command and its arguments) pass, but "--" does not. An option that
// takes a value takes the argument after it, whatever it looks like; one
// at the end of the line without its value is left to the option's own
// check. One pass over the line, however long.
qsizetype FirstRefused(const QList<QCommandLineOption>& options, const QStringList& line,
                       bool wordsAllowed);

}  // namespace strictoptions
