#pragma once

#include <atomic>

class Device;
class Host;
struct AppState;

// What every job works with: the Writer, the program around it and the
// program-wide values. A job opens the Writer, runs its exchange, closes the
// Writer again and tells the user the outcome through the Host; it returns
// the outcome as well, for callers that act on it (the command line).
//
// `stop`, when given, is raised from outside (the command line's Ctrl-C) to
// end a long job at its next safe point: between two words of a write or a
// read, never inside one. The job then leaves the Writer's mode, closes it
// and returns Interrupted without a message of its own.
struct JobEnv {
    Device& device;
    Host& host;
    AppState& state;
    const std::atomic<bool>* stop = nullptr;

    bool StopRequested() const { return stop && stop->load(std::memory_order_relaxed); }
};

enum class JobOutcome {
    Done,
    Cancelled,    // the user cancelled the save question
    NotOpened,    // the Writer could not be opened
    LinkFailure,  // the Writer did not answer as expected
    NoBoard,      // the Writer reaches no target board
    FileError,    // a file could not be opened, read or written
    HexError,     // the HEX file is not valid
    WriteError,   // a word or the configuration word was not acknowledged
    Mismatch,     // verify: the chip does not hold what the file holds
    Interrupted,  // stopped from outside between two words: a write left the chip
                  // partly written
};
