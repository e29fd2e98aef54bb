#include <gtest/gtest.h>

#include "backends/ftdi/FtdiDevice.h"

// The ftdi backend built without libftdi1 is there all the same and tells
// what to install.
TEST(FtdiWithoutLibrary, ReportsItselfUnavailable) {
    EXPECT_FALSE(FtdiDevice::Available());
    FtdiDevice device;
    EXPECT_EQ(device.OpenEx("Q-LARK USB Programmer"), FT_DEVICE_NOT_FOUND);
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("built without libftdi1")));
    EXPECT_TRUE(device.LastError().contains(QStringLiteral("libftdi1-dev")));
    EXPECT_FALSE(device.isOpen());
    EXPECT_EQ(device.SetLatencyTimer(1), FT_INVALID_HANDLE);
    EXPECT_EQ(device.Close(), FT_INVALID_HANDLE);
}
