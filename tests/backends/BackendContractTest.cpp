#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "backends/Backends.h"
#include "link/protocol/Protocol.h"
#include "shared/Clock.h"

// What every backend, real or simulated, promises its caller: no call but
// OpenEx goes through before an open has succeeded, a failed open says why,
// and a new open starts without the old reason.

namespace {

// Every call but OpenEx, on a device that is not open: each is refused, and
// a write or read reports no bytes.
void ExpectEveryCallRefused(Device& device) {
    uint8_t byte = 'A';
    const struct {
        const char* name;
        bool reportsBytes;
        std::function<FtStatus(uint32_t* count)> call;
    } calls[] = {
        {"Purge", false, [&](uint32_t*) { return device.Purge(FT_PURGE_RX | FT_PURGE_TX); }},
        {"SetTimeouts", false, [&](uint32_t*) { return device.SetTimeouts(5000, 1000); }},
        {"SetBaudRate", false, [&](uint32_t*) { return device.SetBaudRate(4800); }},
        {"SetDataCharacteristics", false,
         [&](uint32_t*) { return device.SetDataCharacteristics(8, 0, 0); }},
        {"SetFlowControl", false, [&](uint32_t*) { return device.SetFlowControl(0, 0, 0); }},
        {"Write", true, [&](uint32_t* count) { return device.Write(&byte, 1, count); }},
        {"Read", true, [&](uint32_t* count) { return device.Read(&byte, 1, count); }},
        {"Close", false, [&](uint32_t*) { return device.Close(); }},
    };
    for (const auto& entry : calls) {
        uint32_t count = 7;
        EXPECT_EQ(entry.call(&count), FT_INVALID_HANDLE) << entry.name;
        EXPECT_EQ(count, entry.reportsBytes ? 0u : 7u) << entry.name;
    }
}

}  // namespace

TEST(BackendContract, NothingGoesThroughUntilAnOpenSucceedsAndAFailedOpenSaysWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing"));
    // Each backend, opened where no Writer answers to the description.
    const QString choices[] = {QStringLiteral("sim"), QStringLiteral("serial:") + missing,
#ifndef _WIN32  // no ftdi backend on Windows
                               QStringLiteral("ftdi"),
#endif
                               QStringLiteral("d2xx:") + missing};
    for (const QString& choice : choices) {
        SCOPED_TRACE(choice.toStdString());
        VirtualClock clock;
        QString error;
        std::unique_ptr<Device> device = backends::Create(choice, clock, &error);
        ASSERT_TRUE(device) << error.toStdString();
        EXPECT_TRUE(device->LastError().isEmpty());
        ExpectEveryCallRefused(*device);
        EXPECT_EQ(device->OpenEx("no such Writer"), FT_DEVICE_NOT_FOUND);
        EXPECT_FALSE(device->LastError().isEmpty());
        ExpectEveryCallRefused(*device);
    }
}

TEST(BackendContract, AnOpenForgetsTheLastFailureAndASecondOpenIsRefused) {
    VirtualClock clock;
    QString error;
    std::unique_ptr<Device> device = backends::Create(QStringLiteral("sim"), clock, &error);
    ASSERT_TRUE(device) << error.toStdString();
    EXPECT_EQ(device->OpenEx("no such Writer"), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(device->LastError(), QStringLiteral("no simulated device has that description"));
    ASSERT_EQ(device->OpenEx(kDeviceDescription), FT_OK);
    EXPECT_TRUE(device->LastError().isEmpty());
    EXPECT_EQ(device->OpenEx(kDeviceDescription), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(device->LastError(), QStringLiteral("the simulated Writer is already open"));
    EXPECT_EQ(device->Close(), FT_OK);
}
