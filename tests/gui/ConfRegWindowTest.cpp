// The configuration register viewer, opened from the main window, on the
// simulated Writer; and what the main window's closing does to the viewers.
#include <gtest/gtest.h>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "GuiRig.h"
#include "config/frmConfReg.h"
#include "windowbase/WindowStyle.h"

namespace {

struct ConfRegRig : GuiRig {
    explicit ConfRegRig(FaultPlan faults = {}) : GuiRig(std::move(faults)) {
        form = Start();
        form->show();
        Activate(*form);
        sim.trace.clear();
        sim.host.messages.clear();
    }
    frmConfReg* Open() {
        Click(*form, "ConfigCommand");
        Settle();
        return VisibleWindow<frmConfReg>("frmConfReg");
    }
    int Reads() const { return static_cast<int>(sim.Wire().count(QStringLiteral("w 59"))); }
    std::unique_ptr<FormMain> form;
};

QString Display(QWidget& window) {
    return Find<QLabel>(window, "Label3")->text();
}

TEST(ConfRegViewer, ShowsTheChipsWordAndReadsOnEveryActivation) {
    ConfRegRig rig;
    {  // As laid out in twips, before it is activated.
        frmConfReg window(frmConfReg::Services{*rig.sim.device, rig.host, rig.sim.state});
        EXPECT_EQ(window.size(), QSize(195, 179));
        EXPECT_EQ(Find<QGroupBox>(window, "Frame1")->geometry(), QRect(24, 40, 145, 81));
        EXPECT_EQ(Find<QLabel>(window, "Label3")->geometry(), QRect(32, 16, 89, 57));
        EXPECT_EQ(Find<QLabel>(window, "Label3")->font(), windowstyle::FixedPitchFont(9.75));
        EXPECT_EQ(Display(window), QString::fromUtf8("　　通信中"));
        EXPECT_TRUE(rig.sim.trace.isEmpty());
    }
    rig.sim.device->firmware().chip().config[7] = 0x3FF5;  // XT, watchdog on, PWRTE on
    frmConfReg* window = rig.Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(rig.Reads(), 1);
    EXPECT_EQ(Display(*window), QStringLiteral("FOSC    XT\nWDT     ON\nPWRTE   ON\nCP      OFF"));
    // Switching back to it reads the chip again; so does the main window's
    // command, which brings the same window to the front.
    rig.sim.device->firmware().chip().config[7] = 0x3F9A;
    Activate(*rig.form);
    Activate(*window);
    EXPECT_EQ(rig.Reads(), 2);
    EXPECT_EQ(Display(*window),
              QStringLiteral("FOSC    HS\nWDT     OFF\nPWRTE   OFF\nCP      OFF"));
    Activate(*rig.form);
    Find<QAction>(*rig.form, "menu_memory_c")->trigger();
    Settle();
    EXPECT_EQ(VisibleWindow<frmConfReg>("frmConfReg"), window);
    EXPECT_EQ(rig.Reads(), 3);
    EXPECT_TRUE(rig.sim.host.messages.empty());
}

TEST(ConfRegViewer, ComingBackFromAnotherApplicationReadsNothing) {
    ConfRegRig rig;
    frmConfReg* window = rig.Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(rig.Reads(), 1);
    // The user works in another application and comes back to the viewer,
    // or to the main window.
    for (QWidget* back : {static_cast<QWidget*>(window), static_cast<QWidget*>(rig.form.get())}) {
        QApplication::setActiveWindow(nullptr);
        Settle();
        Activate(*back);
    }
    EXPECT_EQ(rig.Reads(), 1);
    EXPECT_TRUE(rig.sim.host.messages.empty());
    // From the program's own main window it reads again.
    Activate(*window);
    EXPECT_EQ(rig.Reads(), 2);
}

TEST(ConfRegViewer, AFailedReadClosesItAndAReadNeverRunsTwiceAtOnce) {
    FaultPlan faults;
    faults.boardMissing[2] = true;
    ConfRegRig rig(faults);
    // The failure's message box lets the window system's events in: an
    // activation then must not start a second read.
    QPointer<QWidget> window;
    rig.host.onMessage = [&]() {
        if (window || !(window = VisibleWindow("frmConfReg"))) return;
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(window, &activate);
    };
    Click(*rig.form, "ConfigCommand");
    QApplication::processEvents();
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(rig.sim.Wire().mid(2), QStringList({"w 59", "r 3F", "w 53"}));
    EXPECT_EQ(rig.sim.host.messages.size(), 1u);
    Settle();
    EXPECT_FALSE(window);  // unloaded
}

TEST(ConfRegViewer, OpensWhereItWasClosedAndCentredTheFirstTime) {
    ConfRegRig rig;
    frmConfReg* window = rig.Open();
    ASSERT_NE(window, nullptr);
    const QPoint offset =
        window->frameGeometry().center() - window->screen()->availableGeometry().center();
    EXPECT_LE(std::abs(offset.x()) + std::abs(offset.y()), 2);

    window->move(123, 77);
    QTest::keyClick(Find<QPushButton>(*window, "Command1"), Qt::Key_A);  // nothing
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(Find<QPushButton>(*window, "Command1"), Qt::Key_Escape);
    EXPECT_EQ(rig.sim.state.ConfRegLeft * 1000 + rig.sim.state.ConfRegTop, 123077);
    Settle();
    window = rig.Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos(), QPoint(123, 77));
    window->move(40000, -40000);  // kept as the nearest 16-bit values
    Click(*window, "Command1");
    EXPECT_EQ(rig.sim.state.ConfRegLeft, 32767);
    EXPECT_EQ(rig.sim.state.ConfRegTop, -32768);
}

TEST(MainWindowShutdown, OtherWindowsGoWithoutTheirOwnCloseHandling) {
    ConfRegRig rig;
    ASSERT_NE(rig.Open(), nullptr);
    Activate(*rig.form);
    Click(*rig.form, "EPROMCommand1");
    Click(*rig.form, "ExitCommand");
    EXPECT_EQ(rig.quitCount, 1);
    EXPECT_EQ(VisibleWindow("frmConfReg"), nullptr);
    EXPECT_EQ(VisibleWindow("frmEPROM"), nullptr);
    EXPECT_EQ(rig.sim.state.ConfRegLeft, 0);  // its close did not run
    EXPECT_EQ(rig.sim.state.ConfRegTop, 0);
}

}  // namespace
