#pragma once

#include <cstdint>

// D2XX's codes for the purge mask and the line settings, as Purge,
// SetDataCharacteristics and SetFlowControl take them.
enum : uint32_t { FT_PURGE_RX = 1, FT_PURGE_TX = 2 };

namespace d2xxcodes {
inline constexpr uint8_t kBits7 = 7;
inline constexpr uint8_t kBits8 = 8;
inline constexpr uint8_t kStopBits1 = 0;
inline constexpr uint8_t kStopBits2 = 2;
inline constexpr uint8_t kParityNone = 0;
inline constexpr uint8_t kParityOdd = 1;
inline constexpr uint8_t kParityEven = 2;
inline constexpr uint8_t kParityMark = 3;
inline constexpr uint8_t kParitySpace = 4;
inline constexpr uint16_t kFlowNone = 0x0000;
inline constexpr uint16_t kFlowRtsCts = 0x0100;
inline constexpr uint16_t kFlowDtrDsr = 0x0200;
inline constexpr uint16_t kFlowXonXoff = 0x0400;

// True for the word lengths, stop bits and parities D2XX knows.
constexpr bool IsLineSetting(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    return (wordLength == kBits7 || wordLength == kBits8) &&
           (stopBits == kStopBits1 || stopBits == kStopBits2) && parity <= kParitySpace;
}
}  // namespace d2xxcodes
