// What the windows share: placement on the screen, the icons of the
// resources, paths shortened to fit, and Qt's standard texts in Japanese.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTranslator>
#include <cstdlib>

#include "GuiRig.h"
#include "program/frmReadWrite.h"
#include "windowbase/StandardTexts.h"
#include "windowbase/WindowStyle.h"

namespace {

struct Placement {
    const char* what;
    QRect frame;
    QRect screen;
    QPoint expected;
};

TEST(WindowStyle, CentresEachAxisOnlyWhereTheScreenIsLarger) {
    const Placement cases[] = {
        {"smaller both ways", {5, 7, 300, 200}, {0, 0, 1600, 1200}, {650, 500}},
        {"odd sizes", {0, 0, 301, 151}, {0, 0, 1001, 701}, {350, 275}},
        {"second screen", {0, 0, 400, 300}, {1920, 40, 1280, 1024}, {2360, 402}},
        {"wider than the screen", {5, 7, 1700, 200}, {0, 0, 1600, 1200}, {5, 500}},
        {"as wide as the screen", {5, 7, 1600, 200}, {0, 0, 1600, 1200}, {5, 500}},
        {"taller than the screen", {5, 7, 300, 1300}, {0, 0, 1600, 1200}, {650, 7}},
        {"larger both ways", {-3, 9, 1700, 1300}, {0, 0, 1600, 1200}, {-3, 9}},
    };
    for (const Placement& c : cases)
        EXPECT_EQ(windowstyle::CentredPosition(c.frame, c.screen), c.expected) << c.what;
}

// The window's middle lies within a pixel of the available area's middle.
void ExpectCentred(const QWidget& window) {
    const QPoint offset =
        window.frameGeometry().center() - window.screen()->availableGeometry().center();
    EXPECT_LE(std::abs(offset.x()), 1) << window.objectName().toStdString();
    EXPECT_LE(std::abs(offset.y()), 1) << window.objectName().toStdString();
}

TEST(WindowStyle, MainWindowAndOperationDialogAreCentredOnTheScreen) {
    GuiRig rig;
    std::unique_ptr<FormMain> form = rig.Start();
    ASSERT_EQ(rig.loadResult, FormMain::LoadResult::Waiting);
    ExpectCentred(*form);

    frmReadWrite dialog(
        frmReadWrite::Services{*rig.sim.device, rig.host, rig.sim.state, rig.runner});
    dialog.move(3, 4);
    dialog.show();
    ExpectCentred(dialog);
}

TEST(WindowStyle, IconsComeAt32PixelsSharpOnScaledScreens) {
    for (const char* name : {"board1", "board2", "writer"}) {
        for (qreal ratio : {1.0, 2.0}) {
            const QPixmap pixmap = windowstyle::Icon32(QString::fromLatin1(name), ratio);
            ASSERT_FALSE(pixmap.isNull()) << name;
            EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), QSize(32, 32)) << name << ratio;
            EXPECT_EQ(pixmap.size(), QSize(32, 32) * ratio) << name << ratio;
        }
    }
    EXPECT_TRUE(windowstyle::Icon32(QStringLiteral("no-such-icon"), 1.0).isNull());
    EXPECT_FALSE(windowstyle::ResourceIcon(QStringLiteral("writer")).isNull());
}

struct Elision {
    const char* path;
    int room;  // in characters of the label's fixed-pitch font
    // What stays of the path: its start and its end; both the whole path
    // when it fits.
    const char* start;
    const char* end;
};

TEST(WindowStyle, PathsThatDoNotFitLoseFoldersFirst) {
    // Every character of a fixed-pitch font takes the same room, so the
    // room is counted in characters. How wide the ellipsis is depends on
    // the font installed; what is kept at both ends does not.
    const QFontMetrics metrics(windowstyle::FixedPitchFont(9.75));
    auto chars = [&metrics](int count) {
        return metrics.horizontalAdvance(QString(count, QLatin1Char('x')));
    };
    ASSERT_EQ(metrics.horizontalAdvance(QStringLiteral("C:\\robot\\blink.hex")), chars(18));
    const Elision cases[] = {
        {"C:\\robot\\blink.hex", 18, "C:\\robot\\blink.hex", ""},  // fits exactly
        {"C:\\robot\\blink.hex", 16, "C", "\\blink.hex"},
        {"/home/user/projects/robot/blink.hex", 20, "/ho", "t/blink.hex"},
        {"C:\\a\\servo_controller.hex", 12, "C:", "hex"},  // the name alone is too wide
        {"blink_with_a_long_name.hex", 12, "bli", "hex"},  // no folder at all
    };
    for (const Elision& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        const QString shown = windowstyle::ElidedPath(metrics, path, chars(c.room));
        EXPECT_LE(metrics.horizontalAdvance(shown), chars(c.room)) << c.path;
        EXPECT_TRUE(shown.startsWith(QString::fromUtf8(c.start))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QString::fromUtf8(c.end))) << shown.toStdString();
        // Shortened exactly when the path does not fit, with an ellipsis.
        const bool fits = QString::fromUtf8(c.start) == path;
        EXPECT_EQ(shown == path, fits) << c.path;
        EXPECT_EQ(shown.contains(QChar(0x2026)) || shown.contains(QStringLiteral("...")), !fits)
            << shown.toStdString();
    }
}

TEST(WindowStyle, JapaneseStandardTextsWhenQtsTranslationIsThere) {
    auto* app = QCoreApplication::instance();
    const QString cancel = QStringLiteral("Cancel");
    QTemporaryDir empty;
    EXPECT_EQ(InstallJapaneseStandardTexts(*app, empty.path()), nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFileInfo::exists(QDir(folder).filePath(QStringLiteral("qtbase_ja.qm"))))
        GTEST_SKIP() << "Qt's Japanese translation is not installed (qt6-translations-l10n)";
    QTranslator* translator = InstallJapaneseStandardTexts(*app);
    ASSERT_NE(translator, nullptr);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"),
              QString::fromUtf8("キャンセル"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Open"), QString::fromUtf8("開く"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), cancel);
}

}  // namespace
