// A HEX file as the write and the configuration-word search read it.
//
// Input: the file's text. Rules: each record that parses is written back the
// same by FormatRecord; the write plan and the configuration word come out
// the same whether the text is read from memory or from a device; a plan
// without an error keeps the write's rules (ascending blocks, no overlap,
// starts at words 0 to 1024, 14-bit words).
#include <cstdlib>
#include <span>

#include "FuzzSupport.h"
#include "link/protocol/MemoryMap.h"
#include "program/HexProgram.h"
#include "shared/IntelHex.h"

namespace {

using fuzz::Require;

void CheckRecords(const QByteArray& text) {
    LineReader lines(text);
    QByteArray line;
    while (lines.Next(&line)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (!parsed.ok()) continue;
        const hex::Record& r = parsed.record;
        Require(r.data.size() == r.byteCount, "a record holds as many bytes as its count says");
        const auto* bytes = reinterpret_cast<const uint8_t*>(r.data.constData());
        const QByteArray formatted = hex::FormatRecord(
            r.address, r.type, std::span(bytes, static_cast<size_t>(r.data.size())));
        Require(formatted == line.left(formatted.size()).toUpper(),
                "a record that parses is formatted back as it was written");
        const int word = hex::WordAddressRounded(r.signedAddress());
        Require(std::abs(2 * word - r.signedAddress()) <= 1,
                "a word address is half the byte address");
    }
}

void CheckPlan(const hexprogram::WritePlan& plan) {
    if (plan.error != hexprogram::WalkError::None) {
        Require(plan.blocks.empty(), "a refused file has no blocks");
        Require(plan.errorLine >= 0, "an error's line is counted from 1");
        return;
    }
    int reached = 0;
    for (const hexprogram::Block& block : plan.blocks) {
        Require(block.lo.size() == block.hi.size(), "a block's words have both bytes");
        Require(block.wordAddress >= reached, "blocks ascend without overlap");
        Require(block.wordAddress <= memorymap::kLastWriteStart, "blocks start at words 0 to 1024");
        for (const uint8_t hi : block.hi) Require(hi < 0x80, "a word has 14 bits");
        reached = block.wordAddress + block.words();
    }
}

bool SamePlan(const hexprogram::WritePlan& a, const hexprogram::WritePlan& b) {
    if (a.error != b.error || a.errorLine != b.errorLine || a.recordError != b.recordError ||
        a.blocks.size() != b.blocks.size())
        return false;
    for (size_t i = 0; i < a.blocks.size(); ++i) {
        if (a.blocks[i].wordAddress != b.blocks[i].wordAddress ||
            a.blocks[i].lo != b.blocks[i].lo || a.blocks[i].hi != b.blocks[i].hi)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = fuzz::Bytes(data, size);
    CheckRecords(text);

    const hexprogram::WritePlan plan = hexprogram::PlanWrite(text);
    CheckPlan(plan);
    fuzz::DeviceLines planLines(text);
    Require(SamePlan(plan, hexprogram::PlanWrite(planLines.lines())),
            "the plan is the same from memory and from a device");

    LineReader configLines(text);
    fuzz::DeviceLines configDeviceLines(text);
    const hexprogram::ConfigResult config = hexprogram::FindConfigWord(configLines);
    const hexprogram::ConfigResult fromDevice =
        hexprogram::FindConfigWord(configDeviceLines.lines());
    Require(config.result == fromDevice.result && config.word == fromDevice.word &&
                config.errorLine == fromDevice.errorLine,
            "the configuration word is the same from memory and from a device");
    return 0;
}
