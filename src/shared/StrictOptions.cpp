#include "shared/StrictOptions.h"

#include <QHash>

namespace strictoptions {

QString Spelled(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

qsizetype FirstRefused(const QList<QCommandLineOption>& options, const QStringList& line,
                       bool wordsAllowed) {
    // Each spelling the usage shows, and whether the option takes a value.
    QHash<QString, bool> takesValue;
    for (const QCommandLineOption& option : options) {
        for (const QString& name : option.names())
            takesValue.insert(Spelled(name), !option.valueName().isEmpty());
    }
    for (qsizetype i = 1; i < line.size(); ++i) {
        const QString& argument = line[i];
        const auto option = takesValue.constFind(argument);
        if (option != takesValue.cend()) {
            if (*option) ++i;  // its value, whatever it looks like
            continue;
        }
        if (argument == u"--") {
            if (wordsAllowed || i + 1 == line.size()) return -1;
            return i + 1;
        }
        // "--name=value" for a long option that takes a value.
        const qsizetype equals = argument.indexOf(u'=');
        if (argument.startsWith(QStringLiteral("--")) && equals > 3) {
            const auto named = takesValue.constFind(argument.left(equals));
            if (named != takesValue.cend() && *named) continue;
        }
        // "-" alone is a word; any other dash starts an option not spelled
        // as the usage spells it, or an unknown one.
        const bool word = !argument.startsWith(u'-') || argument == u"-";
        if (!word || !wordsAllowed) return i;
    }
    return -1;
}

}  // namespace strictoptions
