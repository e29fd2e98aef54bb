#pragma once

#include "jobs/JobEnv.h"

// qlarkw-cli's exit codes, and the code of each job's outcome.
namespace cli {

// Ordered by weight: a run over several Writers exits with the highest code
// among them (WorstExit).
enum ExitCode : int {
    kSuccess = 0,
    kUsageError = 2,
    kFileError = 3,    // a file or HEX error
    kLinkFailure = 4,  // no Writer, no answer, a word not acknowledged, a short read,
                       // a Writer's job ended by an unexpected error
    kNoBoard = 5,      // the Writer reaches no target board
    kVerifyMismatch = 6,
    kInterrupted = 130,  // Ctrl-C: the job stopped between two words (128 + SIGINT)
};

constexpr int ExitFor(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Done:
        case JobOutcome::Cancelled:
            return kSuccess;
        case JobOutcome::FileError:
        case JobOutcome::HexError:
            return kFileError;
        case JobOutcome::NoBoard:
            return kNoBoard;
        case JobOutcome::Mismatch:
            return kVerifyMismatch;
        case JobOutcome::Interrupted:
            return kInterrupted;
        case JobOutcome::NotOpened:
        case JobOutcome::LinkFailure:
        case JobOutcome::WriteError:
            return kLinkFailure;
    }
    return kLinkFailure;
}

}  // namespace cli
