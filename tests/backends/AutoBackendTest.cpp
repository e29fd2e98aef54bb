#include <gtest/gtest.h>

#include <QProcess>

#include "TestHost.h"
#include "backends/Backends.h"
#include "link/WriterLink.h"
#include "shared/AppState.h"

// On a machine without a Writer every backend says why it found none, one
// line each, in the order tried; OpenWriter shows the unplugged message.
TEST(AutoBackend, WithoutAWriterGivesEachBackendsReason) {
    VirtualClock clock;
    QString error;
    std::unique_ptr<Device> device = backends::Create(QStringLiteral("auto"), clock, &error);
    ASSERT_TRUE(device) << error.toStdString();
    TestHost host(clock);
    AppState state;
    if (!OpenWriter(*device, host, state)) {
        device->Close();
        GTEST_SKIP() << "a Writer is plugged in here";
    }
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, QStringLiteral("USBライタの接続を確認してください"));
    // Real hardware only: the simulator is never chosen by `auto`.
    EXPECT_FALSE(backends::AutoOrder().contains(QStringLiteral("sim")));
    const QStringList lines = device->LastError().split(u'\n');
    ASSERT_EQ(lines.size(), 1 + backends::AutoOrder().size()) << device->LastError().toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("no Writer found; tried"));
    for (qsizetype i = 0; i < backends::AutoOrder().size(); ++i) {
        EXPECT_TRUE(lines[i + 1].startsWith(QStringLiteral("  ") + backends::AutoOrder()[i] + u':'))
            << lines[i + 1].toStdString();
        EXPECT_GT(lines[i + 1].size(), backends::AutoOrder()[i].size() + 4);
    }
    EXPECT_EQ(device->Close(), FT_INVALID_HANDLE);
}

TEST(AutoBackend, EveryBackendCanBeNamedAndBadNamesAreRefused) {
    VirtualClock clock;
    QString error;
#ifdef _WIN32
    // No libftdi1 on Windows: its FTDI driver is reached through d2xx and
    // the COM ports.
    const char* const names[] = {"serial", "serial:COM3", "d2xx", "d2xx:C:\\lib\\ftd2xx.dll"};
    const QString known = QStringLiteral("auto, sim, serial, d2xx");
#else
    const char* const names[] = {"serial", "serial:/dev/ttyUSB0", "ftdi", "d2xx",
                                 "d2xx:/opt/lib.so"};
    const QString known = QStringLiteral("auto, sim, serial, ftdi, d2xx");
#endif
    for (const char* name : names) {
        EXPECT_TRUE(backends::Create(QLatin1String(name), clock, &error)) << name;
    }
    EXPECT_FALSE(backends::Create(QStringLiteral("usb"), clock, &error));
    EXPECT_EQ(error, QStringLiteral("QLARKW_DEVICE: unknown device \"usb\" (use %1)").arg(known));
#ifndef _WIN32
    EXPECT_FALSE(backends::Create(QStringLiteral("ftdi:0403"), clock, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("ftdi backend takes no argument")));
#endif
}

TEST(AutoBackend, CliVerboseSaysWhatWasTriedAndWhy) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QLARKW_DEVICE"), QStringLiteral("auto"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(QLARKW_CLI),
              {QStringLiteral("--verbose"), QStringLiteral("read"), QStringLiteral("-o"),
               QStringLiteral("/nonexistent/x.hex")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitCode(), 4) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("device: auto (tries: ") +
                             backends::AutoOrder().join(QStringLiteral(", ")) + u')'))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("USBライタの接続を確認してください")));
    for (const QString& name : backends::AutoOrder())
        EXPECT_TRUE(err.contains(QStringLiteral("\n  ") + name + QStringLiteral(": ")))
            << name.toStdString();
}
