#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "link/protocol/MemoryMap.h"

// Some of the 64 bytes of the data EEPROM: those a HEX image gives (an
// assembler's `de` data, a backup), or a serial number's. Addresses not
// given are left as the chip holds them.
struct EepromPart {
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};  // meaningful where given
    std::bitset<memorymap::kEepromBytes> given;

    void Set(int address, uint8_t value) {
        bytes[address] = value;
        given.set(address);
    }
    int count() const { return static_cast<int>(given.count()); }
    bool empty() const { return given.none(); }
    bool whole() const { return given.all(); }
};
