#pragma once

// The memory map of the PIC on the target board, in words (14 bits each) and,
// where a HEX file holds them, in the file's byte addresses (two bytes a
// word, low byte first, at twice the word address).

#include <cstdint>

namespace memorymap {

// Program memory: word addresses 0x000 to 0x3FF.
inline constexpr int kProgramWords = 1024;
// The configuration block: words 0x2000 to 0x2007; its last word is the
// configuration word.
inline constexpr int kConfigBase = 0x2000;
inline constexpr int kConfigWords = 8;
inline constexpr int kConfigWordAddress = 0x2007;
inline constexpr int kConfigWordIndex = kConfigWordAddress - kConfigBase;
// The data EEPROM: 64 bytes, shown as a table of 4 rows of 16 bytes
// (address = row * 16 + column).
inline constexpr int kEepromBytes = 64;
inline constexpr int kEepromTableColumns = 16;
inline constexpr int kEepromTableRows = kEepromBytes / kEepromTableColumns;

// Everything the read-out brings back, in the order the Writer sends it.
inline constexpr int kReadOutWords = kProgramWords + kConfigWords;

// A write programs the data records that start at word addresses up to this
// one; the first record above it ends the data phase.
inline constexpr int kLastWriteStart = kProgramWords;

// In a HEX file: the byte addresses of the configuration block and word.
inline constexpr int kConfigBlockByteAddress = 2 * kConfigBase;        // 0x4000
inline constexpr int kConfigWordByteAddress = 2 * kConfigWordAddress;  // 0x400E
// The EEPROM in PIC tools' HEX images: word 0x2100, one byte a word.
inline constexpr int kEepromImageBase = 0x2100;

// Erased contents and the word's width.
inline constexpr uint16_t kWordMask = 0x3FFF;
inline constexpr uint16_t kBlankWord = 0x3FFF;
inline constexpr uint8_t kBlankByte = 0xFF;
// The configuration bits the Writer programs (bits 6..0 of the word).
inline constexpr int kConfigBitsMask = 0x7F;
// Among them, what the settings dialog and the register viewer show:
inline constexpr int kConfigOscillatorMask = 0x03;   // bits 1..0: LP, XT, HS, RC
inline constexpr int kConfigWatchdogBit = 0x04;      // set: the watchdog timer runs
inline constexpr int kConfigPowerUpTimerBit = 0x08;  // clear: the power-up timer is on
inline constexpr int kConfigCodeProtectBit = 0x10;   // clear: the code is protected

}  // namespace memorymap
