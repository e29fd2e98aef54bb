#include "shell/CommonDialog.h"

QStringList NameFilters(const QString& descriptionPatternList) {
    const QStringList parts = descriptionPatternList.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        // Qt takes the patterns from the parentheses of the description.
        filters << (description.contains(u'(')
                        ? description
                        : description + QStringLiteral(" (") + pattern + u')');
    }
    return filters;
}
