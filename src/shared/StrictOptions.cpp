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
        // "-" alone is a word; any other dash starts an option not spelled
        // as the usage spells it, an unknown one, or "--".
        const bool word = !argument.startsWith(u'-') || argument == u"-";
        if (!word || !wordsAllowed) return i;
    }
    return -1;
}

}  // namespace strictoptions
