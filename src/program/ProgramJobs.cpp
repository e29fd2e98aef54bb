#include "program/ProgramJobs.h"

#include <QDir>
#include <algorithm>

#include "jobs/JobSteps.h"
#include "link/WriterLink.h"
#include "link/protocol/MemoryMap.h"
#include "link/protocol/SevenBit.h"
#include "program/HexProgram.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"
#include "shared/InputFile.h"
#include "shared/IntelHex.h"
#include "shared/OutputFile.h"

using texts::Text;
using texts::TwoLines;

namespace {

void ShowCritical(Host& host, const QString& text, const char* caption) {
    host.MessageBox(text, Text(caption), MsgIcon::Critical);
}

void ShowDone(Host& host, const char* text) {
    host.MessageBox(Text(text), Text(texts::kAppTitle), MsgIcon::Information);
}

// The write and the read recover from a reply they did not expect with
// 'S', 'C', a pause and 'E'.
constexpr std::span<const RecoveryStep> kRecovery = recovery::kPollCancelEnd;

}  // namespace

QString AddressText(int address, const char* suffix) {
    return Text(texts::kAddressPrefix) +
           QStringLiteral("%1").arg(address, 4, 16, QLatin1Char(' ')).toUpper() + Text(suffix);
}

ConfigLoad LoadHexConfigWord(Host& host, AppState& state, const hexprogram::FileText& file) {
    // A file that cannot be opened behaves as one whose first line is empty.
    LineReader lines(file.opened() ? file.text : QByteArray("\n"));
    hexprogram::ConfigResult found = hexprogram::FindConfigWord(lines);
    if (file.opened() && !file.complete) {
        found.result = hexprogram::ConfigSearch::HexError;
        found.recordError = hex::RecordError::NoStartMark;
    }
    switch (found.result) {
        case hexprogram::ConfigSearch::Found:
            state.ConfigWord = found.word;
            return ConfigLoad::Found;
        case hexprogram::ConfigSearch::NotFound:
            return ConfigLoad::NotFound;
        case hexprogram::ConfigSearch::HexError:
            break;
    }
    // A line without ':' is the classic HEX error; a record that is cut
    // short or whose checksum does not match is a damaged file and says how
    // to mend it.
    const QString message = found.recordError == hex::RecordError::NoStartMark
                                ? Text(texts::kHexError)
                                : TwoLines(texts::kHexError, texts::kHexErrorLine2);
    ShowCritical(host, message, texts::kCaptionError);
    return ConfigLoad::HexError;
}

std::optional<hexprogram::WritePlan> CheckHexFile(Host& host, const hexprogram::FileText& file,
                                                  JobOutcome* outcome) {
    if (!file.opened()) {
        *outcome = JobOutcome::FileError;
        ShowCritical(host, TwoLines(texts::kFileOpenFailed, texts::kTryAgain),
                     texts::kCaptionFileError);
        return std::nullopt;
    }
    hexprogram::WritePlan plan;
    if (file.complete)
        plan = hexprogram::PlanWrite(file.text);
    else
        plan.error = hexprogram::WalkError::Read;
    switch (plan.error) {
        case hexprogram::WalkError::None:
            *outcome = JobOutcome::Done;
            return plan;
        case hexprogram::WalkError::Hex:
            *outcome = JobOutcome::HexError;
            ShowCritical(host, TwoLines(texts::kHexError, texts::kHexErrorLine2),
                         texts::kCaptionFileError);
            break;
        case hexprogram::WalkError::Processing:
            *outcome = JobOutcome::HexError;
            ShowCritical(host, TwoLines(texts::kFileProcessingError, texts::kTryAgain),
                         texts::kCaptionError);
            break;
        case hexprogram::WalkError::Read:
            *outcome = JobOutcome::FileError;
            ShowCritical(host, TwoLines(texts::kFileProcessingError, texts::kTryAgain),
                         texts::kCaptionError);
            break;
    }
    return std::nullopt;
}

JobOutcome WritePrgComm(JobEnv& env, const hexprogram::FileText& file, ProgressView& view) {
    // The whole file is checked before the Writer is opened: a file the
    // write would refuse part-way is refused before any byte goes out, so a
    // bad file never leaves the chip half-programmed.
    JobOutcome checked = JobOutcome::Done;
    const std::optional<hexprogram::WritePlan> plan = CheckHexFile(env.host, file, &checked);
    if (!plan) return checked;
    return WritePrgComm(env, *plan, view);
}

JobOutcome WritePrgComm(JobEnv& env, const QString& hexPath, ProgressView& view) {
    return WritePrgComm(env, hexprogram::ReadFile(hexPath), view);
}

JobOutcome WritePrgComm(JobEnv& env, const hexprogram::WritePlan& plan, ProgressView& view) {
    Host& host = env.host;
    int curAddr = 0;
    view.SetStatusText(AddressText(0, texts::kWritingSuffix));
    view.SetProgress(0, 0);
    host.ProcessEvents();

    LinkExchange link(env.device);
    if (const JobOutcome started = OpenAndStart(
            env, link, {.command = cmd::kWriteMode, .ack = cmd::kWriteAck, .recovery = kRecovery});
        started != JobOutcome::Done)
        return started;

    // From here on every way out leaves write mode with 'E' and closes.
    auto finish = [&](const QString& text, const char* caption, JobOutcome outcome) {
        link.Send(cmd::kEnd);
        env.device.Close();
        ShowCritical(host, text, caption);
        return outcome;
    };

    const int total = plan.totalWords();
    int done = 0;
    view.SetProgress(0, total);

    // A reply is good only when the expected byte arrived with this read.
    auto expect = [&](uint8_t ack) { return link.Read().is(ack); };
    const QString writeFailed = TwoLines(texts::kWriteFailed, texts::kTryAgain);
    // Stopped from outside: between two words, write mode left as after
    // the last word, no message (the caller tells what the chip holds).
    auto interrupted = [&]() {
        link.Send(cmd::kEnd);
        env.device.Close();
        return JobOutcome::Interrupted;
    };

    for (const hexprogram::Block& block : plan.blocks) {
        while (curAddr < block.wordAddress) {
            if (env.StopRequested()) return interrupted();
            // The count byte carries seven bits: a gap of 200 goes as 72,
            // 127 and 1.
            int n = (block.wordAddress - curAddr) & cmd::kCountMask;
            if (n == 0) n = cmd::kMaxSkip;
            link.Send(cmd::kSkip);
            if (!expect(cmd::kSkipAck))
                return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);
            link.Send(static_cast<uint8_t>(cmd::kDataBit | n));
            if (!expect(cmd::kWriteAck))
                return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);
            curAddr += n;
            host.ProcessEvents();
        }
        for (int j = 0; j < block.words(); ++j) {
            if (env.StopRequested()) return interrupted();
            view.SetStatusText(AddressText(curAddr, texts::kWritingSuffix));
            link.Send(cmd::kProgramWord);
            if (!expect(cmd::kWriteAck))
                return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);
            link.Send(sevenbit::EncodeFileWord(block.lo[j], block.hi[j]));
            if (!expect(cmd::kWriteAck))
                return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);
            ++curAddr;
            view.SetProgress(++done, total);
            host.ProcessEvents();
        }
    }
    if (env.StopRequested()) return interrupted();
    link.Send(cmd::kProgramConfig);
    if (!expect(cmd::kConfigAck))
        return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);
    // Bits 6..0 of the configuration word, the upper seven bits zero.
    link.Send(std::array<uint8_t, 2>{
        cmd::kDataBit,
        static_cast<uint8_t>(cmd::kDataBit | (env.state.ConfigWord & memorymap::kConfigBitsMask))});
    if (!expect(cmd::kWriteAck))
        return finish(writeFailed, texts::kCaptionError, JobOutcome::WriteError);

    link.Send(cmd::kEnd);
    env.device.Close();
    ShowDone(host, texts::kWriteDone);
    return JobOutcome::Done;
}

JobOutcome ReadProgramMemory(JobEnv& env, ProgressView& view, ProgramImage* image) {
    Host& host = env.host;
    LinkExchange link(env.device);
    if (const JobOutcome started = OpenAndStart(
            env, link, {.command = cmd::kReadProgram, .ack = cmd::kReadAck, .recovery = kRecovery});
        started != JobOutcome::Done)
        return started;
    using namespace memorymap;
    int readAddr = 0;
    for (int received = 0; received < kReadOutWords; ++received) {
        // A read-out stopped from outside keeps nothing: the Writer's
        // remaining words are dropped with the close.
        if (env.StopRequested()) {
            env.device.Close();
            return JobOutcome::Interrupted;
        }
        host.ProcessEvents();
        view.SetStatusText(AddressText(readAddr, texts::kReceivingSuffix));
        // Every byte must arrive, and be data: anything else ends the
        // read-out short, and a short image is never saved.
        const LinkExchange::Reply high = link.Read();
        const LinkExchange::Reply low =
            high.arrived && sevenbit::IsData(high.byte) ? link.Read() : LinkExchange::Reply{};
        const std::optional<uint16_t> word =
            low.arrived ? sevenbit::Decode(high.byte, low.byte) : std::nullopt;
        if (!word) {
            env.device.Close();
            ReportWriterError(host, kWriterLinkFailed);
            return JobOutcome::LinkFailure;
        }
        if (readAddr < kProgramWords)
            image->program[readAddr] = *word;
        else
            image->config[readAddr - kConfigBase] = *word;
        view.SetProgress(received + 1, kReadOutWords);
        ++readAddr;
        if (readAddr == kProgramWords) readAddr = kConfigBase;
    }
    env.device.Close();
    return JobOutcome::Done;
}

QByteArray FormatReadOutFile(const ProgramImage& image) {
    QByteArray out;
    out.reserve(130 * 45);
    hex::AppendWordRecords(out, 0, image.program);
    hex::AppendWordRecords(out, memorymap::kConfigBase, image.config);
    out.append(hex::EndRecord());
    out.append("\r\n");
    return out;
}

JobOutcome ReadPrgComm(JobEnv& env, ProgressView& view, QString* fileWhy) {
    ProgramImage image;
    if (const JobOutcome outcome = ReadProgramMemory(env, view, &image);
        outcome != JobOutcome::Done)
        return outcome;

    Host& host = env.host;
    const QString proposed =
        QDir::toNativeSeparators(QDir::current().filePath(Text(texts::kDefaultReadFile)));
    const std::optional<QString> chosen = host.AskSaveFileName(proposed);
    if (!chosen) return JobOutcome::Cancelled;

    view.SetStatusText(Text(texts::kWritingFile));
    // Written beside the target and renamed over it only when complete; a
    // device or a pipe at the path is left alone.
    if (outputfile::Save(*chosen, FormatReadOutFile(image), fileWhy) != outputfile::Error::None) {
        ShowCritical(host, TwoLines(texts::kFileError, texts::kTryAgain), texts::kCaptionError);
        return JobOutcome::FileError;
    }
    ShowDone(host, texts::kReadDone);
    return JobOutcome::Done;
}

JobOutcome ErasePrgComm(JobEnv& env) {
    Host& host = env.host;
    if (const JobOutcome opened = OpenAndSelectBoard(env); opened != JobOutcome::Done)
        return opened;
    LinkExchange link(env.device);
    // Unlike the write and the read, no 'S' first.
    WriterError code = StartCommand(
        link, host,
        {.command = cmd::kEraseProgram, .ack = cmd::kAck, .recovery = recovery::kCancelEnd});
    // A close that fails turns even a done erase into a link failure.
    if (env.device.Close() != FT_OK) code = kWriterLinkFailed;
    if (code != kWriterOk) {
        ReportWriterError(host, code);
        return OutcomeOf(code);
    }
    ShowDone(host, texts::kEraseDone);
    return JobOutcome::Done;
}

ProgramVerifyResult VerifyProgram(JobEnv& env, const hexprogram::WritePlan& plan,
                                  ProgressView& view) {
    ProgramVerifyResult result;
    ProgramImage image;
    result.outcome = ReadProgramMemory(env, view, &image);
    if (result.outcome != JobOutcome::Done) return result;
    result.chipAllZero =
        std::all_of(image.program.begin(), image.program.end(), [](uint16_t w) { return w == 0; });
    for (const hexprogram::Block& block : plan.blocks) {
        for (int i = 0; i < block.words(); ++i) {
            const int address = block.wordAddress + i;
            // Beyond program memory: not kept by the chip.
            if (address >= memorymap::kProgramWords) continue;
            ++result.compared;
            const uint16_t expected = hexprogram::Word(block, i);
            if (image.program[address] != expected)
                result.words.push_back({address, expected, image.program[address]});
        }
    }
    const int sentBits = env.state.ConfigWord & memorymap::kConfigBitsMask;
    const int chipBits = image.config[memorymap::kConfigWordIndex] & memorymap::kConfigBitsMask;
    if (sentBits != chipBits) result.configBits = ConfigBitsDifference{sentBits, chipBits};
    if (!result.words.empty() || result.configBits) result.outcome = JobOutcome::Mismatch;
    return result;
}
