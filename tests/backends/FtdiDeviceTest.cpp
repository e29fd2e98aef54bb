#include <gtest/gtest.h>

#include "TestHost.h"
#include "backends/ftdi/FtdiDevice.h"
#include "link/WriterLink.h"
#include "shared/AppState.h"

// No Writer is on this machine's USB bus: libftdi1 searches and finds none
// (or cannot reach USB at all); either way the open fails with a reason.
TEST(FtdiDevice, FindsNoWriterAndSaysWhy) {
#ifdef QLARKW_HAVE_LIBFTDI1
    EXPECT_TRUE(FtdiDevice::Available());
#else
    EXPECT_FALSE(FtdiDevice::Available());
#endif
    FtdiDevice device;
    const FtStatus status = device.OpenEx("Q-LARK USB Programmer");
    if (status == FT_OK) {
        device.Close();
        GTEST_SKIP() << "a Writer is plugged in here";
    }
    EXPECT_EQ(status, FT_DEVICE_NOT_FOUND);
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.LastError().isEmpty());
    // A second attempt is as good as the first (the context is reused).
    EXPECT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
}

TEST(FtdiDevice, CallsOnADeviceThatIsNotOpenAreRefused) {
    FtdiDevice device;
    uint8_t byte = 'A';
    uint32_t count = 7;
    EXPECT_EQ(device.Purge(3), FT_INVALID_HANDLE);
    EXPECT_EQ(device.SetTimeouts(5000, 1000), FT_INVALID_HANDLE);
    EXPECT_EQ(device.SetBaudRate(4800), FT_INVALID_HANDLE);
    EXPECT_EQ(device.SetDataCharacteristics(8, 0, 0), FT_INVALID_HANDLE);
    EXPECT_EQ(device.SetFlowControl(0, 0, 0), FT_INVALID_HANDLE);
    EXPECT_EQ(device.SetLatencyTimer(1), FT_INVALID_HANDLE);
    EXPECT_EQ(device.Write(&byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    count = 7;
    EXPECT_EQ(device.Read(&byte, 1, &count), FT_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(device.Close(), FT_INVALID_HANDLE);
}

TEST(FtdiDevice, OpenWriterShowsTheUnpluggedMessage) {
    FtdiDevice device;
    VirtualClock clock;
    TestHost host(clock);
    AppState state;
    EXPECT_TRUE(OpenWriter(device, host, state));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, QStringLiteral("USBライタの接続を確認してください"));
    // The open failed, so no setting was tried: the latency call's refusal
    // would have replaced the open's reason.
    EXPECT_FALSE(device.LastError().contains(QStringLiteral("latency")));
}
