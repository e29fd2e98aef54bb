#include "backends/serial/PosixTty.h"

#include <cstring>

namespace posixtty {
namespace {

struct Speed {
    uint32_t baud;
    speed_t speed;
};

// The speeds every tty of Linux and macOS has, slowest first.
constexpr Speed kSpeeds[] = {
    {300, B300},     {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

}  // namespace

speed_t SpeedFor(uint32_t baud) {
    for (const Speed& entry : kSpeeds) {
        if (entry.baud == baud) return entry.speed;
    }
    return B0;
}

uint32_t BaudOf(speed_t speed) {
    for (const Speed& entry : kSpeeds) {
        if (entry.speed == speed) return entry.baud;
    }
    return 0;
}

QString ErrnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace posixtty
