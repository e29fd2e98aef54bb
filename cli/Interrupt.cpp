#include "cli/Interrupt.h"

#include <csignal>
#include <cstdlib>

#include "cli/ExitCodes.h"

namespace cli {
namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
    if (stopFlag.exchange(true)) std::_Exit(kInterrupted);
    // Some systems put the default action back before calling the handler.
    std::signal(SIGINT, OnInterrupt);
}

}  // namespace

std::atomic<bool>& StopFlag() {
    return stopFlag;
}

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
}

}  // namespace cli
