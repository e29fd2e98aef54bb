#include "sim/ChipStateFile.h"

#include <QFile>
#include <QSaveFile>
#include <vector>

#include "shared/IntelHex.h"

namespace chipstate {
namespace {

constexpr int kConfigBase = 0x2000;
constexpr int kEepromBase = 0x2100;

void AppendWords(QByteArray& out, int firstWord, const std::vector<uint16_t>& words) {
    for (size_t i = 0; i < words.size(); i += 8) {
        uint8_t bytes[16];
        size_t n = 0;
        for (size_t k = i; k < words.size() && k < i + 8; ++k) {
            bytes[n++] = static_cast<uint8_t>(words[k] & 0xFF);
            bytes[n++] = static_cast<uint8_t>(words[k] >> 8);
        }
        const auto address = static_cast<uint16_t>(2 * (firstWord + static_cast<int>(i)));
        out.append(hex::FormatRecord(address, 0x00, std::span<const uint8_t>(bytes, n)));
        out.append("\r\n");
    }
}

}  // namespace

QByteArray Format(const ChipMemory& chip) {
    QByteArray out;
    AppendWords(out, 0, std::vector<uint16_t>(chip.program.begin(), chip.program.end()));
    AppendWords(out, kConfigBase, std::vector<uint16_t>(chip.config.begin(), chip.config.end()));
    AppendWords(out, kEepromBase, std::vector<uint16_t>(chip.eeprom.begin(), chip.eeprom.end()));
    out.append(hex::EndRecord());
    out.append("\r\n");
    return out;
}

std::optional<ChipMemory> Load(const QString& path, QString* error) {
    ChipMemory chip;
    QFile file(path);
    if (!file.exists()) return chip;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QList<QByteArray> lines = hex::SplitLines(file.readAll());
    int lineNumber = 0;
    for (const QByteArray& line : lines) {
        ++lineNumber;
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) {
            if (error)
                *error = QStringLiteral("%1 line %2: %3")
                             .arg(path)
                             .arg(lineNumber)
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
            if (word < ChipMemory::kProgramWords) {
                chip.program[word] = value & 0x3FFF;
            } else if (word >= kConfigBase && word < kConfigBase + ChipMemory::kConfigWords) {
                chip.config[word - kConfigBase] = value & 0x3FFF;
            } else if (word >= kEepromBase && word < kEepromBase + ChipMemory::kEepromBytes) {
                chip.eeprom[word - kEepromBase] = static_cast<uint8_t>(value & 0xFF);
            }
        }
    }
    return chip;
}

bool Save(const QString& path, const ChipMemory& chip, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Format(chip)) < 0 || !file.commit()) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace chipstate
