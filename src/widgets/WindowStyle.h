#pragma once

// Looks shared by the desktop program's windows (header only; Qt Widgets).

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace windowstyle {

// The fixed-pitch Japanese font of the progress and version labels, with
// the fonts that stand in for it where it is not installed.
inline QFont FixedPitchFont(double pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(pointSize);
    return font;
}

// A dialog with a fixed border: title and close box, no minimize or maximize
// box, not resizable, its size as laid out.
inline void MakeFixedDialog(QWidget& window) {
    window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window.setFixedSize(window.size());
}

// Message texts keep CR LF between their lines; labels show a plain break.
inline QString ForDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace windowstyle
