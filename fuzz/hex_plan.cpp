// A HEX file as the write and the configuration-word search read it, as
// given and again with every checksum put right.
//
// Input: the file's text. Rules: each record that parses is written back the
// same by FormatRecord; the write plan and the configuration word come out
// the same whether the text is read from memory or from a device; a plan
// without an error keeps the write's rules (ascending blocks, no overlap,
// starts at words 0 to 1024, 14-bit words). One input in eight is also
// read from a file by the write's own check and LoadHexConfigWord, which
// must agree with the plan and the search and show one message for a
// refusal (files are slow to fuzz, so not every input goes this way).
#include <cstdlib>
#include <span>

#include <QFile>

#include "FuzzSupport.h"
#include "link/protocol/MemoryMap.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "shared/AppState.h"
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

void CheckFromFile(const QByteArray& text, const hexprogram::WritePlan& plan,
                   const hexprogram::ConfigResult& config) {
    const QString path = fuzz::ScratchPath(QStringLiteral("program.hex"));
    QFile file(path);
    Require(
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size(),
        "the HEX file is made");
    file.close();
    VirtualClock clock;
    fuzz::Guard guard(clock);
    fuzz::FuzzHost host(clock, guard, MsgAnswer::Yes, {});
    JobOutcome outcome = JobOutcome::Done;
    const hexprogram::FileText read = hexprogram::ReadFile(path);
    const bool accepted = CheckHexFile(host, read, &outcome).has_value();
    Require(accepted == (plan.error == hexprogram::WalkError::None) &&
                host.messages() == (accepted ? 0 : 1),
            "the write's check of the file agrees with the plan and tells a refusal once");

    AppState state;
    const ConfigLoad loaded = LoadHexConfigWord(host, state, read);
    const bool same = config.result == hexprogram::ConfigSearch::Found
                          ? loaded == ConfigLoad::Found && state.ConfigWord == config.word
                      : config.result == hexprogram::ConfigSearch::NotFound
                          ? loaded == ConfigLoad::NotFound
                          : loaded == ConfigLoad::HexError;
    Require(same, "LoadHexConfigWord finds what the search finds");
}

void CheckText(const QByteArray& text, bool fromFile) {
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
    if (fromFile) CheckFromFile(text, plan, config);
}

// The text with the checksum of every record that has a wrong one put
// right, so that a changed address or byte still makes a record the write
// takes. Empty when no record had a wrong one.
QByteArray WithChecksumsMended(const QByteArray& text) {
    QByteArray mended;
    bool any = false;
    for (QByteArray line : hex::SplitLines(text)) {
        const hex::ParsedLine parsed = hex::ParseRecord(line);
        if (parsed.error == hex::RecordError::BadChecksum) {
            const hex::Record& r = parsed.record;
            const auto* bytes = reinterpret_cast<const uint8_t*>(r.data.constData());
            const QByteArray record = hex::FormatRecord(
                r.address, r.type, std::span(bytes, static_cast<size_t>(r.data.size())));
            line.replace(0, record.size(), record);
            any = true;
        }
        mended += line + "\r\n";
    }
    return any ? mended : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = fuzz::Bytes(data, size);
    CheckText(text, size % 8 == 0);
    const QByteArray mended = WithChecksumsMended(text);
    if (!mended.isEmpty()) CheckText(mended, false);
    return 0;
}
