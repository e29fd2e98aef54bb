#include "shared/StrictOptions.h"

#include <QCommandLineParser>

namespace strictoptions {

QString Spelled(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

qsizetype FirstRefused(QCommandLineParser& parser, const QStringList& line, bool wordsAllowed) {
    // The line is parsed again in ever longer beginnings, each telling what
    // its last argument is.
    qsizetype known = 0;   // options found so far
    bool waiting = false;  // the last option found waits for its value
    for (qsizetype n = 2; n <= line.size(); ++n) {
        const QString& argument = line[n - 1];
        const bool parsed = parser.parse(line.first(n));
        const qsizetype found = parser.optionNames().size();
        if (waiting) {  // the value, whatever it looks like
            waiting = false;
            continue;
        }
        if (found == known) {  // a word, an unknown option or "--"
            if (!wordsAllowed || !parsed || argument == u"--") return n - 1;
            continue;
        }
        if (argument != Spelled(parser.optionNames().last())) return n - 1;
        // A failure left is an option whose value is still to come, or is
        // missing at the end of the line: that is the option's own error.
        waiting = !parsed;
        known = found;
    }
    return -1;
}

}  // namespace strictoptions
