#pragma once

// Looks shared by the desktop program's windows (Qt Widgets): fonts, the
// fixed dialog border, placement on the screen, the icons of the resources
// and the shortening of paths that do not fit a label.

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>

class QFontMetrics;

namespace windowstyle {

// Window layouts are given in twips: 15 twips to the pixel on a 96-dpi
// screen. A length that is no whole number of pixels is rounded.
inline constexpr int kTwipsPerPixel = 15;
constexpr int TwipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

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

// A frame (QGroupBox) drawn with its caption on its top border line, the
// caption `inset` pixels in from the frame's left end with a gap of `gap`
// pixels in the line on either side, as a style sheet for the window.
inline QString CaptionOnBorderStyleSheet(int inset, int gap) {
    return QStringLiteral(
               "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.6em; "
               "}"
               "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
               " left: %1px; padding: 0px %2px; }")
        .arg(inset)
        .arg(gap);
}

// Message texts keep CR LF between their lines; labels show a plain break.
inline QString ForDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// Where a window whose frame is `frame` goes when it is centred on `screen`,
// each axis on its own: on an axis on which the screen is larger than the
// window, the window's start is the screen's middle less half the window;
// on an axis on which the window is as large as the screen or larger, it
// keeps its position.
QPoint CentredPosition(const QRect& frame, const QRect& screen);

// Moves a top-level window to its centred position on the available area of
// its screen (see CentredPosition). A window not shown yet is placed by its
// size as laid out.
void CentreOnScreen(QWidget& window);

// The picture `name` of the resources (":/icons/name.png", drawn for
// 32 x 32, with "name@2x.png" for scaled screens).
QIcon ResourceIcon(const QString& name);

// The same picture as a 32 x 32 pixmap for a label, sharp on a screen of
// `devicePixelRatio`.
QPixmap Icon32(const QString& name, qreal devicePixelRatio);

// `path` as it fits into `width` pixels of `metrics`: whole when it fits,
// else shortened in the middle by an ellipsis. The file name (what follows
// the last '\' or '/') is kept whole as long as it fits with an ellipsis
// before it, so only folders are left out; when it does not, the whole path
// is shortened in its middle.
QString ElidedPath(const QFontMetrics& metrics, const QString& path, int width);

}  // namespace windowstyle
