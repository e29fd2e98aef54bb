#pragma once

class Device;
class Host;
struct AppState;

// What every job works with: the Writer, the program around it and the
// program-wide values. A job opens the Writer, runs its exchange, closes the
// Writer again and tells the user the outcome through the Host; it returns
// the outcome as well, for callers that act on it (the command line).
struct JobEnv {
    Device& device;
    Host& host;
    AppState& state;
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
};
