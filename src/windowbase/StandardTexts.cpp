#include "windowbase/StandardTexts.h"

#include <QCoreApplication>
#include <QTranslator>

QTranslator* InstallJapaneseStandardTexts(QCoreApplication& app, const QString& folder) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}
