#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "jobs/JobEnv.h"

class ProgressView;

// Reading the configuration word programmed in the PIC ('Y'), for the
// configuration register viewer and `qlarkw-cli config`.

struct ConfRegRead {
    JobOutcome outcome = JobOutcome::Done;
    // The configuration byte: bits 6..0 of the configuration word as the
    // Writer sends them (the second byte of its reply); there whenever the
    // outcome is Done.
    std::optional<uint8_t> configByte;
};

// Opens the Writer, asks for the configuration word and shows it in
// `view`'s status text (the viewer's Label3), four lines; on a failure of
// the data read the text is emptied. Failures are reported with the link's
// messages.
ConfRegRead ReadConfRegComm(JobEnv& env, ProgressView& view);

// The viewer's four lines for a configuration byte, joined with CR LF:
// "FOSC    HS", "WDT     OFF", "PWRTE   OFF", "CP      OFF" for 0x1A.
QString ConfRegDisplayText(uint8_t configByte);
