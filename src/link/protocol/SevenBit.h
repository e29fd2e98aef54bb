#pragma once

#include <array>
#include <cstdint>
#include <optional>

// The seven-bit pair: how data values cross the link in both directions.
// Two bytes, each with bit 7 set: bits 13..7 first, then bits 6..0. A byte
// without bit 7 is a command or a reply, never data.
namespace sevenbit {

constexpr bool IsData(uint8_t byte) {
    return (byte & 0x80) != 0;
}

constexpr std::array<uint8_t, 2> Encode(uint16_t value) {
    return {static_cast<uint8_t>(0x80 | ((value >> 7) & 0x7F)),
            static_cast<uint8_t>(0x80 | (value & 0x7F))};
}

// The word of a pair, or nothing when either byte is not data.
constexpr std::optional<uint16_t> Decode(uint8_t high, uint8_t low) {
    if (!IsData(high) || !IsData(low)) return std::nullopt;
    return static_cast<uint16_t>(((high & 0x7F) << 7) | (low & 0x7F));
}

// A program word as the HEX file stores it (low byte first): the pair of
// lo + 256 * hi with bit 14 and above dropped.
constexpr std::array<uint8_t, 2> EncodeFileWord(uint8_t lo, uint8_t hi) {
    return Encode(static_cast<uint16_t>(((hi << 8) | lo) & 0x3FFF));
}

}  // namespace sevenbit
