#pragma once

#include "jobs/JobEnv.h"
#include "link/WriterLink.h"

// The road every job on the chip starts on: OpenWriter, then HandshakeWriter,
// closing the Writer again when the handshake fails. Returns Done when the
// Writer is open and has taken the board, else NotOpened or LinkFailure
// (the link has shown its message).
JobOutcome OpenAndSelectBoard(JobEnv& env);

// The outcome of a job that ends on a failure of the link's code `code`:
// NoBoard for kWriterNoBoard, else LinkFailure.
JobOutcome OutcomeOf(WriterError code);

// OpenAndSelectBoard, then StartCommand. Returns Done when the command has
// started; on any other outcome the Writer has been closed again and the
// user told why (a failed start through ReportWriterError).
JobOutcome OpenAndStart(JobEnv& env, LinkExchange& link, const CommandStart& start);
