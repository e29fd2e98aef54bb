#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "jobs/EepromPart.h"
#include "jobs/JobEnv.h"
#include "link/protocol/MemoryMap.h"

class Host;
class ProgressView;

// The data EEPROM jobs: read all 64 bytes into the viewer's table, erase
// them, write one byte (the byte editor) and write all 64 from a data file
// (the "/F" start). Each opens the Writer, runs its exchange, closes the
// Writer again and tells the user the outcome through the Host.

// What the EEPROM viewer shows of a read: its two buttons, the status line
// and the 64 cells of the table.
class EepromView {
  public:
    virtual ~EepromView() = default;
    // Refresh and DATA Clear are disabled while an exchange runs.
    virtual void SetBusy(bool busy) = 0;
    // The status line, Label2.
    virtual void SetStatusText(const QString& text) = 0;
    // The cell of `address` (0 to 63) shows `text`, two hexadecimal digits.
    virtual void SetCell(int address, const QString& text) = 0;
};

// The 64 bytes of the data EEPROM, from address 0 on.
using EepromBytes = std::array<uint8_t, memorymap::kEepromBytes>;

struct EepromRead {
    JobOutcome outcome = JobOutcome::Done;
    // The bytes read, from address 0 on; a read the Writer ended early (a
    // byte that is not data) has fewer than 64.
    EepromBytes bytes{};
    int count = 0;
};

// Reads the 64 bytes with 'X' and shows each as it arrives. A pair that
// does not arrive whole ends the read as a failed one ("ライタの反応がありません"
// and the no-board message, NoBoard).
EepromRead ReadEeprom(JobEnv& env, EepromView& view);

// Asks before erasing; erases the EEPROM with 'F', waits and reads it
// again. Cancelled when the user declines.
JobOutcome EraseEeprom(JobEnv& env, EepromView& view);

// The byte editor's input: one or two hexadecimal digits. Returns the
// value, or the messages of the checks it fails, in order (length, form,
// range).
struct ByteInput {
    std::optional<uint8_t> value;
    QStringList failures;
};
ByteInput CheckByteInput(const QString& text);
// Hexadecimal as the byte editor reads it: blanks, tabs and line feeds are
// ignored, the leading hexadecimal digits are taken, none read as 0.
uint32_t ReadHexPrefix(const QString& text);

// Writes `value` to `address` with 'V'. Sets EepromWritten once the Writer
// has taken the command, so the viewer reads again whatever follows. On a
// failure shows the byte editor's own message. NotOpened and LinkFailure
// mean the Writer was not reached (the link has told why); NoBoard ('?' to
// 'V') and WriteError mean the exchange itself failed.
JobOutcome WriteEepromByte(JobEnv& env, int address, uint8_t value);

// Reads and checks the data file at `path` as the write takes it: 64 good
// bytes. On an error shows the write's message for it and returns nothing.
std::optional<EepromBytes> CheckEepromDataFile(Host& host, const QString& path);

// Writes the 64 bytes of a data file with 'M', the progress in `view`.
JobOutcome WriteEepromFile(JobEnv& env, const EepromBytes& data, ProgressView& view);
// The same without the closing message when `announceDone` is false.
JobOutcome WriteEepromAll(JobEnv& env, const EepromBytes& data, ProgressView& view,
                          bool announceDone);
// The same for the data file at `path`, read once and checked whole
// (CheckEepromDataFile) before the Writer is opened.
JobOutcome WriteEepromFile(JobEnv& env, const QString& path, ProgressView& view);

// A byte of the EEPROM that is not the data file's.
struct ByteDifference {
    int address = 0;
    uint8_t file = 0;
    uint8_t chip = 0;
};

struct EepromVerifyResult {
    // Done, Mismatch, or the read's failure: a read the Writer ended early
    // is a LinkFailure (read.count tells how far it came).
    JobOutcome outcome = JobOutcome::Done;
    EepromRead read;
    std::vector<ByteDifference> bytes;  // in address order
};

// Reads the 64 bytes (ReadEeprom) and compares them with `data`. Tells
// nothing of the comparison: the caller shows the differences in its own way.
EepromVerifyResult VerifyEeprom(JobEnv& env, const EepromBytes& data, EepromView& view);

// "Add 3F": the byte editor's address line.
QString EepromAddressText(int address);
// "書込み中 アドレス　3Fh": the write form's progress line.
QString EepromWritingText(int address);

// Writes the bytes `part` gives (a HEX image's EEPROM data, a serial
// number), after the program as a rule: all 64 with 'M' as a data file goes,
// fewer one by one with 'V' in one session, the others keeping what the chip
// holds. Quiet when done; a failure is shown. With `readBack`, the 64 bytes
// are read again in the same session ('X') and left there (its outcome says
// whether the read succeeded).
JobOutcome WriteEepromPart(JobEnv& env, const EepromPart& part, ProgressView& view,
                           EepromRead* readBack = nullptr);

// Compares the bytes `part` gives with a read of the chip: Done, Mismatch,
// or the read's failure (a read that ended early is a LinkFailure).
EepromVerifyResult CompareEeprom(const EepromRead& read, const EepromPart& part);
// Reads the 64 bytes (ReadEeprom) and compares those `part` gives.
EepromVerifyResult VerifyEepromPart(JobEnv& env, const EepromPart& part, EepromView& view);
