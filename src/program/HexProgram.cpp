#include "program/HexProgram.h"

#include <algorithm>

#include "link/protocol/MemoryMap.h"
#include "shared/InputFile.h"

namespace hexprogram {

FileText ReadFile(const QString& path) {
    FileText file;
    InputFile input(path, inputfile::kMaxHexBytes);
    file.openError = input.error();
    if (!input.isOpen()) return file;
    // One byte more than the bound shows a file that grew beyond it.
    constexpr qint64 kChunkBytes = 64 * 1024;
    for (;;) {
        const qsizetype had = file.text.size();
        file.text.resize(had + kChunkBytes);
        const qint64 n = input.device().read(file.text.data() + had, kChunkBytes);
        file.text.resize(had + std::max<qint64>(n, 0));
        if (n < 0 || file.text.size() > input.maxBytes()) return file;
        if (n == 0) break;
    }
    file.complete = true;
    return file;
}

int WritePlan::totalWords() const {
    int total = 0;
    for (const Block& block : blocks) total += block.words();
    return total;
}

namespace {

// Where each data byte of the file lies in the chip's map, beyond the
// program words the write takes block by block.
class MapCollector {
  public:
    explicit MapCollector(WritePlan& plan) : plan_(plan) {}

    void Take(const hex::Record& record, int64_t full, int line) {
        using namespace memorymap;
        constexpr int64_t kProgramEnd = 2 * kProgramWords;
        constexpr int64_t kEepromStart = 2 * kEepromImageBase;
        constexpr int64_t kEepromEnd = kEepromStart + 2 * kEepromBytes;
        for (int i = 0; i < record.data.size(); ++i) {
            const int64_t at = full + i;
            const auto value = static_cast<uint8_t>(record.data[i]);
            if (at >= 0 && at < kProgramEnd) continue;
            if (at == kConfigWordByteAddress) {
                configLo_ = value;
            } else if (at == kConfigWordByteAddress + 1) {
                configHi_ = value;
            } else if (at >= kEepromStart && at < kEepromEnd && (at - kEepromStart) % 2 == 0) {
                plan_.eeprom.Set(static_cast<int>((at - kEepromStart) / 2), value);
            } else if (at >= kEepromStart && at < kEepromEnd && value == 0) {
                // The high byte of an EEPROM word: always zero.
            } else {
                if (!plan_.outside) plan_.outside = Outside{at, line};
                ++plan_.outsideBytes;
            }
        }
    }

    void Finish() {
        if (configLo_ >= 0 && configHi_ >= 0)
            plan_.configWord = static_cast<uint16_t>(configHi_ << 8 | configLo_);
    }

  private:
    WritePlan& plan_;
    int configLo_ = -1, configHi_ = -1;  // -1: not in the file
};

}  // namespace

WritePlan PlanWrite(LineReader& lines) {
    WritePlan plan;
    auto refuse = [&lines](WalkError error, hex::RecordError recordError) {
        WritePlan refused;
        refused.error = error;
        refused.errorLine = lines.lineNumber();
        refused.recordError = recordError;
        return refused;
    };
    MapCollector map(plan);
    hex::AddressBase base;
    int64_t reached = 0;  // the Writer's address counter after the blocks so far
    bool dataPhase = true;
    QByteArray line;
    while (lines.Next(&line)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) return refuse(WalkError::Hex, parsed.error);
        const hex::Record& record = parsed.record;
        if (record.isEnd()) break;
        base.Take(record);
        if (!record.isData()) continue;
        const int64_t full = base.Full(record);
        map.Take(record, full, lines.lineNumber());
        if (!dataPhase) continue;
        const int64_t wordAddress = hex::WordAddressRounded(full);
        if (wordAddress > memorymap::kLastWriteStart) {
            dataPhase = false;
            continue;
        }
        if (wordAddress < reached) return refuse(WalkError::Hex, hex::RecordError::None);
        Block block;
        block.wordAddress = static_cast<int>(wordAddress);
        const int words = record.byteCount / 2;
        for (int j = 0; j < words; ++j) {
            const auto lo = static_cast<uint8_t>(record.data[2 * j]);
            const auto hi = static_cast<uint8_t>(record.data[2 * j + 1]);
            // A word has 14 bits: a high byte of 0x80 or more is no word.
            if (hi >= 0x80) return refuse(WalkError::Processing, hex::RecordError::None);
            block.lo.push_back(lo);
            block.hi.push_back(hi);
        }
        reached = wordAddress + words;
        plan.blocks.push_back(std::move(block));
    }
    if (lines.failed()) return refuse(WalkError::Read, hex::RecordError::None);
    // A file without a single line reads as one whose first line is empty.
    if (lines.lineNumber() == 0) return refuse(WalkError::Hex, hex::RecordError::NoStartMark);
    map.Finish();
    return plan;
}

WritePlan PlanWrite(const QByteArray& text) {
    LineReader lines(text);
    return PlanWrite(lines);
}

QByteArray FormatChipImage(std::span<const uint16_t> program, uint16_t configWord,
                           std::span<const uint8_t> eeprom) {
    QByteArray out;
    hex::AppendWordRecords(out, 0, program);
    const uint16_t config[] = {configWord};
    hex::AppendWordRecords(out, memorymap::kConfigWordAddress, config);
    const std::vector<uint16_t> eepromWords(eeprom.begin(), eeprom.end());
    hex::AppendWordRecords(out, memorymap::kEepromImageBase, eepromWords);
    out.append(hex::EndRecord());
    out.append("\r\n");
    return out;
}

ConfigResult FindConfigWord(LineReader& lines) {
    using memorymap::kConfigBlockByteAddress;
    using memorymap::kConfigWordByteAddress;
    ConfigResult result;
    hex::AddressBase base;
    QByteArray line;
    while (lines.Next(&line)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) {
            result.result = ConfigSearch::HexError;
            result.errorLine = lines.lineNumber();
            result.recordError = parsed.error;
            return result;
        }
        const hex::Record& record = parsed.record;
        if (record.isEnd()) break;
        base.Take(record);
        if (!record.isData()) continue;
        // In byte addresses: the record starts at or above word 0x2000 and
        // its last word (count / 2 - 1 words on, kept exact) reaches 0x2007.
        const int64_t address = base.Full(record);
        if (address < kConfigBlockByteAddress) continue;
        if (address + record.byteCount - 2 >= kConfigWordByteAddress &&
            address <= kConfigWordByteAddress) {
            const auto index = static_cast<qsizetype>(kConfigWordByteAddress - address);
            const auto lo = static_cast<uint8_t>(record.data[index]);
            const auto hi = static_cast<uint8_t>(record.data[index + 1]);
            result.result = ConfigSearch::Found;
            result.word = static_cast<int16_t>(static_cast<uint16_t>(hi << 8 | lo));
            return result;
        }
    }
    return result;
}

}  // namespace hexprogram
