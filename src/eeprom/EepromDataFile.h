#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "link/protocol/MemoryMap.h"

class LineReader;

// The EEPROM data file of the "/F" start and of `qlarkw-cli eeprom`: decimal
// numbers separated by commas, blanks or line ends, read as 32 records of
// four numbers. Record k holds 2k, the byte at 2k, 2k + 1 and the byte at
// 2k + 1. The addresses must be those: a file whose records are out of step
// (a line repeated or left out, a number missing) would put its bytes at
// other addresses, so it is refused. Numbers after the 128th are not read.
namespace eepromfile {

inline constexpr int kRecords = memorymap::kEepromBytes / 2;
inline constexpr int kFieldsPerRecord = 4;
inline constexpr int kFields = kRecords * kFieldsPerRecord;

enum class Error {
    None,
    BadField,      // a field that is not a whole decimal number, or a byte outside 0 to 255
    WrongAddress,  // an address field other than its record's 2k or 2k + 1
    TooShort,      // fewer than 128 numbers
    Missing,       // no file at the path
    Unreadable,    // there, but it could not be opened or read (a folder, a pipe,
                   // no permission, a loop of links, too large)
};

struct Contents {
    Error error = Error::None;
    int errorLine = 0;  // the line of the first bad field or address
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};
};

// Reads and checks the lines of a data file.
Contents Parse(LineReader& lines);
// The same for a text in memory.
Contents Parse(const QByteArray& text);
// Reads and checks the file at `path` (regular files only, within a bound).
Contents Load(const QString& path);

// The file for `bytes`: 32 lines "2k,value,2k+1,value", each ended by CR LF.
QByteArray Format(const std::array<uint8_t, memorymap::kEepromBytes>& bytes);

}  // namespace eepromfile
