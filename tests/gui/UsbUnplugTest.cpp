// The operation dialog on a real Writer that is unplugged half-way through a
// write. tools/usb-trial.sh runs it in its guest, where QLARKW_TRIAL_UNPLUG
// names the USB gadget's UDC file (writing an empty line to it takes the
// Writer off the bus) and QLARKW_TRIAL_HEX the program to write; elsewhere
// there is no Writer to unplug and it is skipped.
#include <gtest/gtest.h>

#include <QFile>
#include <atomic>
#include <chrono>
#include <thread>

#include "GuiRig.h"
#include "backends/Backends.h"
#include "program/frmReadWrite.h"

using namespace std::chrono_literals;

TEST(OperationDialogOnUsb, AWriterUnpluggedHalfWayFailsTheWriteAtOnceAndTheDialogCloses) {
    const QString udc = qEnvironmentVariable("QLARKW_TRIAL_UNPLUG");
    const QString hex = qEnvironmentVariable("QLARKW_TRIAL_HEX");
    if (udc.isEmpty() || hex.isEmpty())
        GTEST_SKIP() << "no Writer to unplug: tools/usb-trial.sh sets QLARKW_TRIAL_UNPLUG and "
                        "QLARKW_TRIAL_HEX in its guest";
    GuiRig rig;
    QString error;
    const std::unique_ptr<Device> device =
        backends::Create(backends::DeviceChoiceFromEnvironment(), rig.sim.clock, &error);
    ASSERT_TRUE(device) << error.toStdString();
    rig.runner.scripts[QStringLiteral("frmConfig")] = [](QDialog& d) { Click(d, "Command1"); };
    frmReadWrite dialog(frmReadWrite::Services{*device, rig.host, rig.sim.state, rig.runner});
    dialog.SetOperation(frmReadWrite::Operation::Write, hex);
    dialog.SetQuestion(QStringLiteral("?"));
    dialog.show();

    using Steady = std::chrono::steady_clock;
    std::atomic<Steady::rep> unpluggedAt{0};
    std::thread unplug([&]() {
        std::this_thread::sleep_for(5s);
        // The moment the unplug begins: the write may fail while the
        // controller is still being unbound.
        const Steady::rep startedAt = Steady::now().time_since_epoch().count();
        QFile file(udc);
        if (file.open(QIODevice::WriteOnly) && file.write("\n") == 1 && file.flush())
            unpluggedAt = startedAt;
    });
    Click(dialog, "cmdOK");  // the whole write, on this thread
    const Steady::time_point ended = Steady::now();
    unplug.join();
    ASSERT_NE(unpluggedAt.load(), 0)
        << "the Writer could not be unplugged through " << udc.toStdString();
    const Steady::time_point unplugged{Steady::duration(unpluggedAt.load())};
    ASSERT_GT(ended, unplugged) << "the write ended before the unplug";
    EXPECT_LT(ended - unplugged, 5s);
    EXPECT_EQ(rig.MessageTexts(),
              QStringList{QString::fromUtf8(
                  "書き込み中にエラーが発生しました\r\nもう一度操作してください。")});
    EXPECT_FALSE(dialog.isVisible());
}
