#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "backends/Backends.h"
#include "link/protocol/Protocol.h"
#include "shared/Clock.h"
#include "sim/SimDevice.h"
#include "sim/SimEnvironment.h"

namespace {

struct EnvGuard {
    explicit EnvGuard(const char* name, const QByteArray& value) : name_(name) {
        qputenv(name, value);
    }
    ~EnvGuard() { qunsetenv(name_); }
    const char* name_;
};

}  // namespace

TEST(Backends, TheEnvironmentChoosesTheDeviceAutoByDefault) {
    qunsetenv(backends::kEnvDevice);
    EXPECT_EQ(backends::DeviceChoiceFromEnvironment(), QStringLiteral("auto"));
    EnvGuard device(backends::kEnvDevice, " sim ");
    EXPECT_EQ(backends::DeviceChoiceFromEnvironment(), QStringLiteral("sim"));
}

TEST(Backends, UnknownNamesAndBadSimulatorSettingsAreRefusedWithAReason) {
    VirtualClock clock;
    QString error;
    EXPECT_FALSE(backends::Create(QStringLiteral("usb"), clock, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("usb")));
    EXPECT_FALSE(backends::Create(QStringLiteral("sim:x"), clock, &error));
    EnvGuard fault(simenv::kEnvSimFault, "reply=oops");
    EXPECT_FALSE(backends::Create(QStringLiteral("sim"), clock, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("reply=oops")));
}

TEST(Backends, TheSimulatorKeepsItsChipInTheStateFileAndTracesEveryCall) {
    QTemporaryDir dir;
    const QByteArray state = dir.filePath(QStringLiteral("chip.hex")).toLocal8Bit();
    const QByteArray trace = dir.filePath(QStringLiteral("trace.txt")).toLocal8Bit();
    EnvGuard s(simenv::kEnvSimState, state);
    EnvGuard t(simenv::kEnvSimTrace, trace);
    VirtualClock clock;
    QString error;
    {
        auto device = backends::Create(QStringLiteral("sim"), clock, &error);
        ASSERT_TRUE(device) << error.toStdString();
        ASSERT_EQ(device->OpenEx(kDeviceDescription), FT_OK);
        device->SetTimeouts(5000, 1000);
        const uint8_t erase[] = {'B', 'L'};
        uint32_t n = 0;
        device->Write(erase, 2, &n);
        uint8_t reply[3] = {};
        EXPECT_EQ(device->Read(reply, 3, &n), FT_OK);  // asks for three, two come
        EXPECT_EQ(n, 2u);
        EXPECT_EQ(device->Close(), FT_OK);
    }
    QFile file(QString::fromLocal8Bit(trace));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "0 open Q-LARK USB Programmer\n0 timeouts 5000 1000\n0 w 42 4C\n"
              "5000 r 61 61 timeout\n5000 close\n");
    EXPECT_TRUE(QFile::exists(QString::fromLocal8Bit(state)));
}

TEST(Backends, AutoFindsNoWriterHereAndSaysWhy) {
    VirtualClock clock;
    QString error;
    auto device = backends::Create(QStringLiteral("auto"), clock, &error);
    ASSERT_TRUE(device);
    EXPECT_NE(device->OpenEx(kDeviceDescription), FT_OK);
    EXPECT_FALSE(device->LastError().isEmpty());
    EXPECT_EQ(device->Close(), FT_INVALID_HANDLE);
}
