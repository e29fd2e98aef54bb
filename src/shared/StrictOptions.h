#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// Our programs take their options only as their usage spells them: "-o" and
// "--output", not "--output=FILE", "-output" or "--o", and no "--" to end the
// options. QCommandLineParser takes all of these, and names an unknown option
// without its dashes and apart from the known ones; these helpers find the
// first argument a program refuses, so that its message can name it as it
// was written.
namespace strictoptions {

// "-h" for a one-letter name, "--pace" for the others.
QString Spelled(const QString& name);

// The first argument of `line` (the program's name first) that is not an
// option the way the usage spells it, nor the value of one, as its index in
// `line`; -1 when there is none. With `wordsAllowed`, other words (a
// command and its arguments) pass, but "--" does not. The parser must have
// its options added; it is left holding the parse of some beginning of the
// line.
qsizetype FirstRefused(QCommandLineParser& parser, const QStringList& line, bool wordsAllowed);

}  // namespace strictoptions
