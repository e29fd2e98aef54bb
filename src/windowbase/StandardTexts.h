#pragma once

#include <QLibraryInfo>
#include <QString>

class QCoreApplication;
class QTranslator;

// Qt's own texts (the buttons of message boxes, the file dialog) in
// Japanese, as the rest of the program speaks, whatever the system's
// language: Qt's translation "qtbase_ja" from `folder` (Qt's translations
// folder) is installed on `app`, which owns it. Returns it, or nullptr when
// it is not there; the standard texts then stay in English.
QTranslator* InstallJapaneseStandardTexts(
    QCoreApplication& app,
    const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));
