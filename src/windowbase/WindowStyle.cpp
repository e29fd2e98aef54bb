#include "windowbase/WindowStyle.h"

#include <QFontMetrics>
#include <QScreen>
#include <algorithm>

// The icons are compiled into this static library: its resources are
// registered once, before the first picture is looked up.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace windowstyle {

namespace {

// On one axis: centred when the screen is larger than the window, else the
// window's own start.
int CentredStart(int windowStart, int windowLength, int screenStart, int screenLength) {
    if (screenLength <= windowLength) return windowStart;
    return screenStart + screenLength / 2 - windowLength / 2;
}

}  // namespace

QPoint CentredPosition(const QRect& frame, const QRect& screen) {
    return QPoint(CentredStart(frame.x(), frame.width(), screen.x(), screen.width()),
                  CentredStart(frame.y(), frame.height(), screen.y(), screen.height()));
}

void CentreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return;
    window.move(CentredPosition(window.frameGeometry(), screen->availableGeometry()));
}

QIcon ResourceIcon(const QString& name) {
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1.png").arg(name), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/%1@2x.png").arg(name), QSize(64, 64));
    return icon;
}

QPixmap Icon32(const QString& name, qreal devicePixelRatio) {
    return ResourceIcon(name).pixmap(QSize(32, 32), devicePixelRatio);
}

QString ElidedPath(const QFontMetrics& metrics, const QString& path, int width) {
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    if (cut >= 0) {
        // The folders give way first: the separator and the name stay.
        const QString tail = path.mid(cut);
        const int folderWidth = width - metrics.horizontalAdvance(tail);
        if (folderWidth > metrics.horizontalAdvance(QChar(0x2026))) {
            const QString folders =
                metrics.elidedText(path.left(cut), Qt::ElideMiddle, folderWidth);
            const QString shortened = folders + tail;
            if (!folders.isEmpty() && metrics.horizontalAdvance(shortened) <= width)
                return shortened;
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
}

}  // namespace windowstyle
