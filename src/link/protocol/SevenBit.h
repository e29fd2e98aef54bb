#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link/protocol/MemoryMap.h"
#include "link/protocol/Protocol.h"

// The seven-bit pair: how data values cross the link in both directions.
// Two bytes, each with bit 7 set: bits 13..7 first, then bits 6..0. A byte
// without bit 7 is a command or a reply, never data.
namespace sevenbit {

// The data bits one byte of a pair carries.
inline constexpr int kBitsPerByte = 7;

constexpr bool IsData(uint8_t byte) {
    return (byte & cmd::kDataBit) != 0;
}

constexpr std::array<uint8_t, 2> Encode(uint16_t value) {
    return {static_cast<uint8_t>(cmd::kDataBit | ((value >> kBitsPerByte) & cmd::kCountMask)),
            static_cast<uint8_t>(cmd::kDataBit | (value & cmd::kCountMask))};
}

// The value of the data bits of a pair (bit 7 of each byte left out).
constexpr uint16_t Join(uint8_t high, uint8_t low) {
    return static_cast<uint16_t>(((high & cmd::kCountMask) << kBitsPerByte) |
                                 (low & cmd::kCountMask));
}

// The word of a pair, or nothing when either byte is not data.
constexpr std::optional<uint16_t> Decode(uint8_t high, uint8_t low) {
    if (!IsData(high) || !IsData(low)) return std::nullopt;
    return Join(high, low);
}

// A program word as the HEX file stores it (low byte first): the pair of
// lo + 256 * hi with bit 14 and above dropped.
constexpr std::array<uint8_t, 2> EncodeFileWord(uint8_t lo, uint8_t hi) {
    return Encode(static_cast<uint16_t>(((hi << 8) | lo) & memorymap::kWordMask));
}

}  // namespace sevenbit
