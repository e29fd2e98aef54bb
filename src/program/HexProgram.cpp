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

WritePlan PlanWrite(LineReader& lines) {
    WritePlan plan;
    auto refuse = [&plan, &lines](WalkError error, hex::RecordError recordError) {
        plan.blocks.clear();
        plan.error = error;
        plan.errorLine = lines.lineNumber();
        plan.recordError = recordError;
        return plan;
    };
    int reached = 0;  // the Writer's address counter after the blocks so far
    bool dataPhase = true;
    QByteArray line;
    while (lines.Next(&line)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) return refuse(WalkError::Hex, parsed.error);
        const hex::Record& record = parsed.record;
        if (record.isEnd()) break;
        if (!record.isData() || !dataPhase) continue;
        const int wordAddress = hex::WordAddressRounded(record.signedAddress());
        if (wordAddress > memorymap::kLastWriteStart) {
            dataPhase = false;
            continue;
        }
        if (wordAddress < reached) return refuse(WalkError::Hex, hex::RecordError::None);
        Block block;
        block.wordAddress = wordAddress;
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
    return plan;
}

WritePlan PlanWrite(const QByteArray& text) {
    LineReader lines(text);
    return PlanWrite(lines);
}

ConfigResult FindConfigWord(LineReader& lines) {
    using memorymap::kConfigBlockByteAddress;
    using memorymap::kConfigWordByteAddress;
    ConfigResult result;
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
        if (!record.isData()) continue;
        // In byte addresses: the record starts at or above word 0x2000 and
        // its last word (count / 2 - 1 words on, kept exact) reaches 0x2007.
        const int address = record.signedAddress();
        if (address < kConfigBlockByteAddress) continue;
        if (address + record.byteCount - 2 >= kConfigWordByteAddress &&
            address <= kConfigWordByteAddress) {
            const int index = kConfigWordByteAddress - address;
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
