#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/protocol/MemoryMap.h"
#include "shared/IntelHex.h"

// What a program write takes from a HEX file: the data records for program
// memory in file order, up to the end record or the first data record above
// word 1024, with the error that stops the walk, if any.
namespace hexprogram {

struct Block {
    int wordAddress = 0;          // where the record's first word goes
    std::vector<uint8_t> lo, hi;  // the record's words as (lo, hi) byte pairs
    int words() const { return static_cast<int>(lo.size()); }
};

enum class WalkError {
    None,
    Hex,         // a line that is not a valid record, or a record below the address reached
    Processing,  // a word whose high byte is 0x80 or more
};

struct WritePlan {
    std::vector<Block> blocks;
    WalkError error = WalkError::None;
    int errorLine = 0;  // 1-based line number of the error
    hex::RecordError recordError = hex::RecordError::None;
    // A processing error stops inside the last block: its words before the
    // bad one are written, then 'D' is sent for the bad word and the write
    // ends there.
    int totalWords() const;
};

// Walks the lines as the write does. The highest word address a data record
// may start at is 1024; records must come in ascending order without overlap.
WritePlan PlanWrite(const QList<QByteArray>& lines);

// The word (lo + 256 * hi) of a block, 14 bits as programmed.
inline uint16_t Word(const Block& block, int i) {
    return static_cast<uint16_t>((block.lo[i] | block.hi[i] << 8) & memorymap::kWordMask);
}

enum class ConfigSearch { Found, NotFound, HexError };

struct ConfigResult {
    ConfigSearch result = ConfigSearch::NotFound;
    int16_t word = 0;
    int errorLine = 0;
    hex::RecordError recordError = hex::RecordError::None;
};

// Finds word 0x2007 (the configuration word) in the lines: the first data
// record at or above word 0x2000 whose words cover 0x2007, before any end
// record.
ConfigResult FindConfigWord(const QList<QByteArray>& lines);

}  // namespace hexprogram
