#pragma once

#include <termios.h>

#include <QString>
#include <cstdint>

// What the serial backend and qlarkw-sim both need of a POSIX tty.
namespace posixtty {

// The termios speed for a baud rate, or B0 when a tty has none for it.
speed_t SpeedFor(uint32_t baud);

// The baud rate of a termios speed, or 0 for B0 and speeds not in the table.
uint32_t BaudOf(speed_t speed);

// The system's words for an errno value ("Permission denied").
QString ErrnoText(int error);

}  // namespace posixtty
