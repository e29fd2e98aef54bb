#pragma once

#include <atomic>

// Ctrl-C on the command line: the first one asks the running jobs to stop at
// their next safe point (between two words); a second one ends the program
// at once with exit code 130.
namespace cli {

// Raised by the first Ctrl-C; the jobs look at it between two words.
std::atomic<bool>& StopFlag();

// Puts the handler in place for SIGINT.
void InstallInterruptHandler();

}  // namespace cli
