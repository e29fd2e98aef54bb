#include "sim/ChipStateFile.h"

#include <vector>

#include "link/protocol/MemoryMap.h"
#include "shared/InputFile.h"
#include "shared/IntelHex.h"
#include "shared/OutputFile.h"

namespace chipstate {

QByteArray Format(const ChipMemory& chip) {
    QByteArray out;
    using namespace memorymap;
    hex::AppendWordRecords(out, 0, chip.program);
    hex::AppendWordRecords(out, kConfigBase, chip.config);
    // One byte a word, as PIC tools keep the EEPROM.
    const std::vector<uint16_t> eeprom(chip.eeprom.begin(), chip.eeprom.end());
    hex::AppendWordRecords(out, kEepromImageBase, eeprom);
    out.append(hex::EndRecord());
    out.append("\r\n");
    return out;
}

std::optional<ChipMemory> Load(const QString& path, QString* error) {
    ChipMemory chip;
    InputFile file(path, inputfile::kMaxHexBytes);
    if (file.error() == inputfile::Error::Missing) return chip;
    if (!file.isOpen()) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    LineReader lines(file);
    QByteArray line;
    while (lines.Next(&line)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) {
            if (error)
                *error = QStringLiteral("%1 line %2: %3")
                             .arg(path)
                             .arg(lines.lineNumber())
                             .arg(QString::fromLatin1(hex::RecordErrorName(parsed.error)));
            return std::nullopt;
        }
        const hex::Record& record = parsed.record;
        if (record.isEnd()) break;
        if (!record.isData()) continue;
        for (int i = 0; i + 1 < record.data.size(); i += 2) {
            const int byteAddress = record.address + i;
            if (byteAddress % 2 != 0) continue;
            const int word = byteAddress / 2;
            const auto value = static_cast<uint16_t>(static_cast<uint8_t>(record.data[i]) |
                                                     static_cast<uint8_t>(record.data[i + 1]) << 8);
            using namespace memorymap;
            if (word < kProgramWords) {
                chip.program[word] = value & kWordMask;
            } else if (word >= kConfigBase && word < kConfigBase + kConfigWords) {
                chip.config[word - kConfigBase] = value & kWordMask;
            } else if (word >= kEepromImageBase && word < kEepromImageBase + kEepromBytes) {
                chip.eeprom[word - kEepromImageBase] = static_cast<uint8_t>(value & 0xFF);
            }
        }
    }
    if (lines.failed()) {
        if (error) *error = QStringLiteral("%1: cannot be read to its end").arg(path);
        return std::nullopt;
    }
    return chip;
}

bool Save(const QString& path, const ChipMemory& chip, QString* error) {
    return outputfile::Save(path, Format(chip), error) == outputfile::Error::None;
}

}  // namespace chipstate
