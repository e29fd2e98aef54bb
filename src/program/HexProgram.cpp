#include "program/HexProgram.h"

#include "link/protocol/MemoryMap.h"

namespace hexprogram {

int WritePlan::totalWords() const {
    int total = 0;
    for (const Block& block : blocks) total += block.words();
    return total;
}

WritePlan PlanWrite(const QList<QByteArray>& lines) {
    WritePlan plan;
    int reached = 0;  // the Writer's address counter after the blocks so far
    int lineNumber = 0;
    for (const QByteArray& line : lines) {
        ++lineNumber;
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) {
            plan.error = WalkError::Hex;
            plan.errorLine = lineNumber;
            plan.recordError = parsed.error;
            return plan;
        }
        const hex::Record& record = parsed.record;
        if (record.isEnd()) break;
        if (!record.isData()) continue;
        const int wordAddress = hex::WordAddressRounded(record.signedAddress());
        if (wordAddress > memorymap::kLastWriteStart) break;
        if (wordAddress < reached) {
            plan.error = WalkError::Hex;
            plan.errorLine = lineNumber;
            return plan;
        }
        Block block;
        block.wordAddress = wordAddress;
        const int words = record.byteCount / 2;
        for (int j = 0; j < words; ++j) {
            const auto lo = static_cast<uint8_t>(record.data[2 * j]);
            const auto hi = static_cast<uint8_t>(record.data[2 * j + 1]);
            if (hi >= 0x80) {
                plan.blocks.push_back(std::move(block));
                plan.error = WalkError::Processing;
                plan.errorLine = lineNumber;
                return plan;
            }
            block.lo.push_back(lo);
            block.hi.push_back(hi);
        }
        reached = wordAddress + words;
        plan.blocks.push_back(std::move(block));
    }
    return plan;
}

ConfigResult FindConfigWord(const QList<QByteArray>& lines) {
    using memorymap::kConfigBlockByteAddress;
    using memorymap::kConfigWordByteAddress;
    ConfigResult result;
    int lineNumber = 0;
    for (const QByteArray& line : lines) {
        ++lineNumber;
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) {
            result.result = ConfigSearch::HexError;
            result.errorLine = lineNumber;
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
