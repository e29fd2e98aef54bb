#pragma once

#include <QString>
#include <optional>

#include "sim/FirmwareModel.h"

// The simulated chip kept between runs as an Intel HEX image laid out as PIC
// tools lay it out: program memory at word 0, the configuration block at
// word 0x2000, the EEPROM at word 0x2100 (one byte per word). Words are two
// bytes, low byte first, at byte address 2 x word address.
namespace chipstate {

// A missing file is a blank chip. A file that is not a readable HEX image
// gives nothing, with `error` saying where and why.
std::optional<ChipMemory> Load(const QString& path, QString* error);

// Writes the image to a temporary file beside `path` and renames it over
// `path`, so an interrupted save never leaves a half-written chip; a device
// or a pipe at `path` is left alone.
bool Save(const QString& path, const ChipMemory& chip, QString* error);

QByteArray Format(const ChipMemory& chip);

}  // namespace chipstate
