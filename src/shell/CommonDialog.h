#pragma once

#include <QString>
#include <QStringList>

// The main window's file dialog, CommonDialog1: it keeps the current file
// name between its runs (the browse dialog and the read-out's save dialog).
struct CommonDialogState {
    QString FileName;
};

// The name filters of CommonDialog1 in Qt's form: "Hexファイル(*.hex)" and
// "すべてのファイル(*.*)", from the "description|pattern|..." list.
QStringList NameFilters(const QString& descriptionPatternList);
