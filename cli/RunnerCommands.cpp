#include "cli/Runner.h"

#include "config/ConfRegJobs.h"
#include "eeprom/EepromDataFile.h"
#include "link/Device.h"
#include "link/WriterLink.h"
#include "link/protocol/MemoryMap.h"
#include "link/protocol/Protocol.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/OutputFile.h"
#include "shell/FirmwareVersion.h"

// Each command's job on the Writer, and how its outcome is shown.
namespace cli {
namespace {

QString HexDigits(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

// The EEPROM viewer's table: a header line "+0h" to "+Fh", then the rows
// " 00h" to " 30h", each with its 16 bytes; every column four characters
// wide, so the values stand under the headers.
QString EepromTable(const EepromBytes& bytes) {
    constexpr int kColumns = memorymap::kEepromTableColumns;
    QString table = QStringLiteral("    ");
    for (int column = 0; column < kColumns; ++column)
        table += QStringLiteral(" +%1h").arg(QString::number(column, 16).toUpper());
    table += u'\n';
    for (int row = 0; row < memorymap::kEepromBytes / kColumns; ++row) {
        table += QStringLiteral(" %1").arg(row) + QStringLiteral("0h");
        for (int column = 0; column < kColumns; ++column)
            table += QStringLiteral("  ") + HexDigits(bytes[row * kColumns + column], 2);
        table += u'\n';
    }
    return table;
}

// The EEPROM jobs' view on a terminal: the status line, and the bytes read
// so far as the progress; the table itself is printed once it is whole.
class EepromProgress final : public EepromView {
  public:
    explicit EepromProgress(LineProgress& progress) : progress_(progress) {}
    void SetBusy(bool) override {}
    void SetStatusText(const QString& text) override { progress_.SetStatusText(text); }
    void SetCell(int address, const QString&) override {
        progress_.SetProgress(address + 1, memorymap::kEepromBytes);
    }

  private:
    LineProgress& progress_;
};

}  // namespace

int Runner::ProgramErase(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("erase"));
    return Finish(ErasePrgComm(env));
}

// A read-out that cannot be saved: the job's message, then the file and
// the reason.
int Runner::ProgramRead(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("read"));
    if (IsStandardStream(request_.output)) {
        ProgramImage image;
        const JobOutcome read = ReadProgramMemory(env, progress_, &image);
        if (read != JobOutcome::Done) return Finish(read);
        progress_.EndLine();
        if (const int code = SaveOutput(request_.output, FormatReadOutFile(image));
            code != kSuccess)
            return code;
        host_.MessageBox(texts::Text(texts::kReadDone), texts::Text(texts::kAppTitle),
                         MsgIcon::Information, MsgButtons::Ok);
        return kSuccess;
    }
    QString why;
    const JobOutcome outcome = ReadPrgComm(env, progress_, &why);
    if (outcome == JobOutcome::FileError && !why.isEmpty()) return Fail(kFileError, why);
    return Finish(outcome);
}

int Runner::ProgramWrite(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("write"));
    writing_ = true;
    const JobOutcome outcome = WritePrgComm(env, *prepared_.plan, progress_);
    if (outcome != JobOutcome::Interrupted) writing_ = false;
    if (outcome != JobOutcome::Done || !request_.verify) return Finish(outcome);
    return ProgramVerify(env);
}

int Runner::ProgramVerify(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("verify"));
    const ProgramVerifyResult verify = VerifyProgram(env, *prepared_.plan, progress_);
    progress_.EndLine();
    if (verify.outcome != JobOutcome::Done && verify.outcome != JobOutcome::Mismatch)
        return Finish(verify.outcome);
    for (const WordDifference& word : verify.words) {
        Say(QStringLiteral("verify: word 0x%1: file %2, chip %3")
                .arg(HexDigits(word.address, 4), HexDigits(word.file, 4), HexDigits(word.chip, 4)));
    }
    if (verify.configBits) {
        Say(QStringLiteral("verify: configuration bits 6..0: file %1, chip %2")
                .arg(HexDigits(verify.configBits->file, 2), HexDigits(verify.configBits->chip, 2)));
    }
    if (verify.outcome == JobOutcome::Mismatch) {
        const qsizetype differences = verify.words.size() + (verify.configBits ? 1 : 0);
        Say(QStringLiteral("verify: %1 difference(s)").arg(differences));
        return kVerifyMismatch;
    }
    Out(QStringLiteral("verify: %1 words and the configuration bits match").arg(verify.compared));
    return kSuccess;
}

// A read the Writer ended early is a failure here: no table, no backup and
// no comparison is ever made of part of the EEPROM.
int Runner::WholeRead(const EepromRead& read) {
    if (read.outcome != JobOutcome::Done) return Finish(read.outcome);
    if (read.count < memorymap::kEepromBytes) {
        return Fail(kLinkFailure,
                    QStringLiteral("the Writer ended the EEPROM read after %1 of %2 bytes")
                        .arg(read.count)
                        .arg(memorymap::kEepromBytes));
    }
    return kSuccess;
}

// Without -o the table on stdout; with it the data file, which eeprom
// write takes back.
int Runner::EepromReadOut(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("eeprom read"));
    EepromProgress view(progress_);
    const EepromRead read = ReadEeprom(env, view);
    progress_.EndLine();
    if (const int code = WholeRead(read); code != kSuccess) return code;
    if (request_.output.isEmpty()) {
        std::fputs(EepromTable(read.bytes).toUtf8().constData(), streams_.out);
        return kSuccess;
    }
    if (const int code = SaveOutput(request_.output, eepromfile::Format(read.bytes));
        code != kSuccess)
        return code;
    if (IsStandardStream(request_.output)) return kSuccess;
    Say(QStringLiteral("eeprom: %1 bytes saved in %2")
            .arg(memorymap::kEepromBytes)
            .arg(request_.output));
    return kSuccess;
}

int Runner::EepromErase(JobEnv& env) {
    EepromProgress view(progress_);
    const JobOutcome outcome = EraseEeprom(env, view);
    if (outcome != JobOutcome::Done) return Finish(outcome);
    Say(QStringLiteral("eeprom: erased, all %1 bytes are FF").arg(memorymap::kEepromBytes));
    return kSuccess;
}

int Runner::EepromSet(JobEnv& env) {
    const JobOutcome outcome =
        WriteEepromByte(env, request_.eepromAddress, static_cast<uint8_t>(request_.eepromValue));
    // As the byte editor does: the PIC is given its time for the byte
    // before anything else can open the Writer.
    if (outcome == JobOutcome::Done) host_.Sleep(pauses::kEepromByteWrittenMs);
    return Finish(outcome);
}

int Runner::EepromWrite(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("eeprom write"));
    writing_ = true;
    const JobOutcome outcome = WriteEepromFile(env, *prepared_.eepromData, progress_);
    if (outcome != JobOutcome::Interrupted) writing_ = false;
    progress_.EndLine();
    if (outcome != JobOutcome::Done || !request_.verify) return Finish(outcome);

    progress_.SetPhase(QStringLiteral("eeprom verify"));
    EepromProgress view(progress_);
    const EepromVerifyResult verify = VerifyEeprom(env, *prepared_.eepromData, view);
    progress_.EndLine();
    if (const int code = WholeRead(verify.read); code != kSuccess) return code;
    for (const ByteDifference& byte : verify.bytes) {
        Say(QStringLiteral("verify: byte 0x%1: file %2, chip %3")
                .arg(HexDigits(byte.address, 2), HexDigits(byte.file, 2), HexDigits(byte.chip, 2)));
    }
    if (verify.outcome == JobOutcome::Mismatch) {
        Say(QStringLiteral("verify: %1 difference(s)").arg(verify.bytes.size()));
        return kVerifyMismatch;
    }
    Out(QStringLiteral("verify: %1 bytes match").arg(memorymap::kEepromBytes));
    return kSuccess;
}

// The configuration register viewer's four lines, one per line.
int Runner::ShowConfigWord(JobEnv& env) {
    NullProgressView quiet;  // the job's status text is the display, printed below
    const ConfRegRead read = ReadConfRegComm(env, quiet);
    if (read.outcome != JobOutcome::Done) return Finish(read.outcome);
    if (!read.configByte) {
        // A done read always has the byte; a read without it failed, and
        // says so in the link's words.
        ReportWriterError(env.host, kWriterLinkFailed);
        return Finish(JobOutcome::LinkFailure);
    }
    QString lines = ConfRegDisplayText(*read.configByte);
    lines.replace(texts::Text(texts::kCrLf), QStringLiteral("\n"));
    std::fprintf(streams_.out, "%s\n", lines.toUtf8().constData());
    return kSuccess;
}

int Runner::ShowFirmwareVersion(JobEnv& env) {
    const FirmwareReply answer = AskFirmwareVersion(env.device, env.host, env.state);
    switch (answer.outcome) {
        case FirmwareReply::Outcome::Version:
            break;
        case FirmwareReply::Outcome::NotAVersion:
            // Shown as bytes: what came over the wire is not text.
            return Fail(kLinkFailure,
                        QStringLiteral("the Writer's answer is not a firmware version: %1")
                            .arg(answer.received.isEmpty()
                                     ? QStringLiteral("no characters")
                                     : QString::fromLatin1(answer.received.toHex(' ')).toUpper()));
        case FirmwareReply::Outcome::NoAnswer:
            if (request_.verbose && !device_->LastError().isEmpty())
                Say(QStringLiteral("device: ") + device_->LastError());
            // The query opens quietly; a Writer the user may not open is
            // no missing Writer: say what gives access.
            if (watched_ && watched_->openStatus() == FT_NO_PERMISSION) {
                host_.MessageBox(
                    texts::TwoLines(texts::kNoPermissionLine1, texts::kNoPermissionLine2) +
                        texts::Text(texts::kCrLf) + texts::Text(texts::kNoPermissionLine3),
                    texts::Text(texts::kAppTitle), MsgIcon::Critical, MsgButtons::Ok);
                return kLinkFailure;
            }
            return Fail(kLinkFailure, QStringLiteral("no firmware version from the Writer "
                                                     "(not connected, or no answer)"));
    }
    std::fprintf(streams_.out, "%s\n", answer.version.toUtf8().constData());
    return kSuccess;
}

}  // namespace cli
