#include "desktop/FileSummary.h"

#include <set>

#include "link/protocol/MemoryMap.h"
#include "program/HexProgram.h"
#include "resources/Texts.h"
#include "shared/InputFile.h"

namespace filesummary {
namespace {

const char* ReasonOf(const hexprogram::WritePlan& plan) {
    using hexprogram::WalkError;
    switch (plan.error) {
        case WalkError::Processing:
            return texts::kSummaryNotAWord;
        case WalkError::Read:
            return texts::kSummaryUnreadable;
        case WalkError::None:
        case WalkError::Hex:
            break;
    }
    switch (plan.recordError) {
        case hex::RecordError::NoStartMark:
            return plan.errorLine <= 1 ? texts::kSummaryNoRecord : texts::kSummaryNoStartMark;
        case hex::RecordError::TooShort:
            return texts::kSummaryTooShort;
        case hex::RecordError::BadDigit:
            return texts::kSummaryBadDigit;
        case hex::RecordError::BadChecksum:
            return texts::kSummaryBadChecksum;
        case hex::RecordError::None:
            break;
    }
    return texts::kSummaryOutOfOrder;
}

}  // namespace

Summary Summarize(const QString& path) {
    Summary summary;
    const hexprogram::FileText file = hexprogram::ReadFile(path);
    if (!file.opened()) {
        summary.state =
            file.openError == inputfile::Error::Missing ? State::Missing : State::Unreadable;
        return summary;
    }
    if (!file.complete) {
        summary.state = State::Unreadable;
        return summary;
    }
    const hexprogram::WritePlan plan = hexprogram::PlanWrite(file.text);
    if (plan.error != hexprogram::WalkError::None) {
        summary.state = State::Broken;
        summary.errorLine = plan.errorLine;
        summary.reason = texts::Text(ReasonOf(plan));
        // An empty file has no line 1 to point at.
        if (plan.errorLine == 0) summary.errorLine = 1;
        return summary;
    }
    summary.state = State::Good;
    std::set<int> words;
    for (const hexprogram::Block& block : plan.blocks) {
        for (int i = 0; i < block.words(); ++i) {
            if (block.wordAddress + i < memorymap::kProgramWords)
                words.insert(block.wordAddress + i);
        }
    }
    summary.programWords = static_cast<int>(words.size());
    summary.configWord = plan.configWord;
    summary.eepromBytes = plan.eeprom.count();
    return summary;
}

QString StatusText(const Summary& summary) {
    using texts::Text;
    switch (summary.state) {
        case State::Missing:
            return Text(texts::kSummaryMissing);
        case State::Unreadable:
            return Text(texts::kSummaryUnreadable);
        case State::Broken:
            return Text(texts::kSummaryBroken).arg(summary.errorLine).arg(summary.reason);
        case State::Good:
            break;
    }
    const QString config =
        summary.configWord
            ? QStringLiteral("%1").arg(*summary.configWord, 4, 16, QLatin1Char('0')).toUpper()
            : Text(texts::kSummaryNoConfig);
    return Text(texts::kSummaryGood).arg(summary.programWords).arg(config).arg(summary.eepromBytes);
}

}  // namespace filesummary
