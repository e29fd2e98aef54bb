#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jobs/EepromPart.h"
#include "link/protocol/MemoryMap.h"
#include "shared/InputFile.h"
#include "shared/IntelHex.h"

class LineReader;

// What a program write takes from a HEX file: the data records for program
// memory in file order, up to the end record or the first data record above
// word 1024, after the whole file has been checked.
namespace hexprogram {

// A HEX file as a job takes it: read whole, once, within the HEX file's
// bound. Every step of the job that needs the file (its configuration word,
// the write's plan) reads these bytes, so the file is opened once per job.
struct FileText {
    inputfile::Error openError = inputfile::Error::Missing;  // None: it was opened
    bool complete = false;                                   // read to its end within the bound
    QByteArray text;
    bool opened() const { return openError == inputfile::Error::None; }
};
FileText ReadFile(const QString& path);

struct Block {
    int wordAddress = 0;          // where the record's first word goes
    std::vector<uint8_t> lo, hi;  // the record's words as (lo, hi) byte pairs
    int words() const { return static_cast<int>(lo.size()); }
};

enum class WalkError {
    None,
    Hex,         // a line that is not a valid record, a record below the address
                 // reached, or no record at all
    Processing,  // a word whose high byte is 0x80 or more
    Read,        // the file could not be read to its end
};

// A data byte of the file that lies nowhere in the chip's map (or is no
// byte the chip can hold there: an EEPROM word with a high byte, a word of
// the configuration block other than the configuration word).
struct Outside {
    int64_t byteAddress = 0;  // the full address: extended address records applied
    int line = 0;             // 1-based line number of its record
};

// The write's plan. A file with an error is refused as a whole: nothing of
// it is written.
struct WritePlan {
    std::vector<Block> blocks;
    WalkError error = WalkError::None;
    int errorLine = 0;  // 1-based line number of the error
    hex::RecordError recordError = hex::RecordError::None;
    int totalWords() const;

    // What the file holds for the rest of the chip, in PIC tools' layout:
    // the configuration word at byte 0x400E, the EEPROM bytes from byte
    // 0x4200 on (word 0x2100 + address, one byte a word, the high byte 0).
    std::optional<uint16_t> configWord;
    EepromPart eeprom;
    // The first byte outside the chip's map, and how many there are.
    std::optional<Outside> outside;
    int outsideBytes = 0;
};

// Reads the lines as the write takes them and checks every record up to the
// end record (or the end of the file): its form and checksum, and for the
// data records of program memory the write's rules. Every data record lies
// at its full address: the 16-bit address plus the base the last extended
// segment (02) or extended linear (04) address record set. The highest word
// address a data record may start at is 1024, and the first record above it
// ends the data phase (the records after it are still checked); records
// must come in ascending order without overlap.
WritePlan PlanWrite(LineReader& lines);
// The same for a text in memory.
WritePlan PlanWrite(const QByteArray& text);

// The word (lo + 256 * hi) of a block, 14 bits as programmed.
inline uint16_t Word(const Block& block, int i) {
    return static_cast<uint16_t>((block.lo[i] | block.hi[i] << 8) & memorymap::kWordMask);
}

// A whole chip as PIC assemblers lay it out: the program words from byte 0,
// the configuration word alone at byte 0x400E, the EEPROM bytes from byte
// 0x4200 as words with a zero high byte; records of 16 bytes, CR LF, an end
// record. PlanWrite takes it back whole.
QByteArray FormatChipImage(std::span<const uint16_t> program, uint16_t configWord,
                           std::span<const uint8_t> eeprom);

enum class ConfigSearch { Found, NotFound, HexError };

struct ConfigResult {
    ConfigSearch result = ConfigSearch::NotFound;
    int16_t word = 0;
    int errorLine = 0;
    hex::RecordError recordError = hex::RecordError::None;
};

// Finds word 0x2007 (the configuration word) in the lines: the first data
// record at or above word 0x2000 whose words cover 0x2007, before any end
// record, at its full address (extended address records applied). Reading
// stops at the first line that is not a valid record.
ConfigResult FindConfigWord(LineReader& lines);

}  // namespace hexprogram
