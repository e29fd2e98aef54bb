// The About box: title, version and the Writer's firmware version.
#include <gtest/gtest.h>
#include <QLabel>

#include "GuiRig.h"
#include "desktop/frmAbout.h"

namespace {

TEST(AboutBox, ShowsTitleVersionAndTheFirmwareVersion) {
    GuiRig rig;
    rig.sim.state.VersionText = QStringLiteral("1.08 2005.5");
    frmAbout about(*rig.sim.device, rig.host, rig.sim.state);
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Q-LARK USBライタ"));
    EXPECT_EQ(Find<QLabel>(about, "Label1")->text(),
              QString::fromUtf8("Q-LARK USBライタ\nVer 1.08 2005.5"));
    EXPECT_EQ(Find<QLabel>(about, "Label2")->text(),
              QString::fromUtf8("ファームウェアバージョン 1.08"));
    EXPECT_EQ(Find<QLabel>(about, "Label3")->text(),
              QString::fromUtf8("USBポートが搭載されたパソコンでご利用ください"));
    EXPECT_EQ(Find<QPushButton>(about, "Command1")->text(), QStringLiteral("&O K"));
    EXPECT_FALSE(Find<QLabel>(about, "Picture1")->pixmap().isNull());
    EXPECT_EQ(about.size(), QSize(312, 154));
    EXPECT_TRUE(rig.sim.host.messages.empty());
    about.show();
    Click(about, "Command1");
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutBox, WithoutAWriterTheNoticeShowsAndNoMessage) {
    FaultPlan faults;
    faults.openFails = true;
    GuiRig rig(faults);
    frmAbout about(*rig.sim.device, rig.host, rig.sim.state);
    EXPECT_EQ(Find<QLabel>(about, "Label2")->text(),
              QString::fromUtf8("このアプリケーションはＴ５８１３専用です"));
    EXPECT_TRUE(rig.sim.host.messages.empty());
    EXPECT_FALSE(rig.sim.state.QuietOpen);
}

}  // namespace
