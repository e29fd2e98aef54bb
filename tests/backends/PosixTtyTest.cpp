#include <gtest/gtest.h>

#include <cerrno>

#include "backends/serial/PosixTty.h"

// The serial backend sets a tty's speed from a baud rate and qlarkw-sim
// reads it back: both directions of one table.
TEST(PosixTty, BaudRatesAndTermiosSpeedsMapBothWays) {
    const struct {
        uint32_t baud;
        speed_t speed;
    } table[] = {
        {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const auto& row : table) {
        EXPECT_EQ(posixtty::SpeedFor(row.baud), row.speed) << row.baud;
        EXPECT_EQ(posixtty::BaudOf(row.speed), row.baud) << row.baud;
    }
    for (const uint32_t baud : {0u, 110u, 4801u, 250000u})
        EXPECT_EQ(posixtty::SpeedFor(baud), B0) << baud;
    EXPECT_EQ(posixtty::BaudOf(B0), 0u);
}

TEST(PosixTty, ErrnoTextNamesTheGivenErrorNotTheCurrentOne) {
    errno = EACCES;
    EXPECT_NE(posixtty::ErrnoText(ENOENT), posixtty::ErrnoText(EACCES));
    EXPECT_FALSE(posixtty::ErrnoText(ENOENT).isEmpty());
}
