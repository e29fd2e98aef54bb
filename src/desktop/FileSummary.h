#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// What the main window's status line tells of the chosen HEX file before
// anything is written: how many words of program memory it fills, its
// configuration word, its EEPROM bytes and whether it is whole (every
// record's form and checksum, and the write's rules). A file the write
// would refuse says so, with its line and the reason.
namespace filesummary {

enum class State { Good, Broken, Missing, Unreadable };

struct Summary {
    State state = State::Missing;
    int programWords = 0;                // distinct words within program memory
    std::optional<uint16_t> configWord;  // word 0x2007, when the file has one
    int eepromBytes = 0;                 // bytes for the data EEPROM
    int errorLine = 0;                   // Broken: the first bad line
    QString reason;                      // Broken: what is wrong with it
};

Summary Summarize(const QString& path);

// The status line's text for `summary`.
QString StatusText(const Summary& summary);

}  // namespace filesummary
