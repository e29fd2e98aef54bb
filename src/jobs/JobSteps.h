#pragma once

#include "jobs/JobEnv.h"

// The road every job on the chip starts on: OpenWriter, then HandshakeWriter,
// closing the Writer again when the handshake fails. Returns Done when the
// Writer is open and has taken the board, else NotOpened or LinkFailure
// (the link has shown its message).
JobOutcome OpenAndSelectBoard(JobEnv& env);
