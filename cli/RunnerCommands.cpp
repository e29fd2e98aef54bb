#include "cli/Runner.h"

#include <QCryptographicHash>

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

// A verify shows the first differences, then how many there are in all.
constexpr size_t kShownDifferences = 8;

// The first differences as "verify: word 0x0012: file 3001, chip 0000"
// lines, then a line for the rest.
template <typename Difference>
QStringList DifferenceLines(const std::vector<Difference>& differences, const char* what,
                            int addressDigits, int valueDigits) {
    QStringList lines;
    for (size_t i = 0; i < differences.size() && i < kShownDifferences; ++i) {
        const Difference& d = differences[i];
        lines << QStringLiteral("verify: %1 0x%2: file %3, chip %4")
                     .arg(QLatin1String(what), HexDigits(d.address, addressDigits),
                          HexDigits(d.file, valueDigits), HexDigits(d.chip, valueDigits));
    }
    if (differences.size() > kShownDifferences) {
        lines << QStringLiteral("verify: ... and %1 more %2(s) differ")
                     .arg(differences.size() - kShownDifferences)
                     .arg(QLatin1String(what));
    }
    return lines;
}

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

// write, and restore: the program and the configuration word; the file's
// EEPROM bytes with --eeprom (restore always); each checked with --verify;
// then the chip's serial number.
int Runner::ProgramWrite(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("write"));
    writing_ = true;
    const JobOutcome outcome = WritePrgComm(env, *prepared_.plan, progress_);
    if (outcome != JobOutcome::Done) return Finish(outcome);
    const EepromPart& eeprom = prepared_.plan->eeprom;
    const bool withEeprom = request_.eeprom || request_.command == CommandId::Restore;
    if (!eeprom.empty() && withEeprom) {
        progress_.SetPhase(QStringLiteral("eeprom write"));
        const JobOutcome written = WriteEepromPart(env, eeprom, progress_);
        progress_.EndLine();
        if (written != JobOutcome::Done) return Finish(written);
        writing_ = false;
        Say(QStringLiteral("eeprom: %1 byte(s) of %2 written").arg(eeprom.count()).arg(file_));
    } else {
        writing_ = false;
    }
    if (!eeprom.empty() && !withEeprom) {
        Say(QStringLiteral("qlarkw-cli: %1 also holds %2 EEPROM byte(s), which were not written; "
                           "qlarkw-cli write --eeprom %1 writes them after the program")
                .arg(file_)
                .arg(eeprom.count()));
    }
    if (request_.verify) {
        if (const int code = ProgramVerify(env); code != kSuccess) return code;
        if (!eeprom.empty() && withEeprom) {
            if (const int code = EepromPartVerify(env, eeprom); code != kSuccess) return code;
        }
    }
    return WriteSerialNumber(env);
}

int Runner::ProgramVerify(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("verify"));
    const ProgramVerifyResult verify = VerifyProgram(env, *prepared_.plan, progress_);
    progress_.EndLine();
    if (verify.outcome != JobOutcome::Done && verify.outcome != JobOutcome::Mismatch)
        return Finish(verify.outcome);
    for (const QString& line : DifferenceLines(verify.words, "word", 4, 4)) Say(line);
    if (verify.configBits) {
        Say(QStringLiteral("verify: configuration bits 6..0: file %1, chip %2")
                .arg(HexDigits(verify.configBits->file, 2), HexDigits(verify.configBits->chip, 2)));
    }
    if (verify.outcome == JobOutcome::Mismatch) {
        if (verify.chipAllZero) {
            Say(
                QStringLiteral("verify: the chip reads back as all zeros: its code protection may "
                               "be on (qlarkw-cli erase clears it, then write again)"));
        }
        const qsizetype differences = verify.words.size() + (verify.configBits ? 1 : 0);
        Say(QStringLiteral("verify: %1 difference(s)").arg(differences));
        return kVerifyMismatch;
    }
    Out(QStringLiteral("verify: %1 words and the configuration bits match").arg(verify.compared));
    return kSuccess;
}

int Runner::EepromPartVerify(JobEnv& env, const EepromPart& part) {
    progress_.SetPhase(QStringLiteral("eeprom verify"));
    EepromProgress view(progress_);
    const EepromVerifyResult verify = VerifyEepromPart(env, part, view);
    progress_.EndLine();
    if (const int code = WholeRead(verify.read); code != kSuccess) return code;
    for (const QString& line : DifferenceLines(verify.bytes, "byte", 2, 2)) Say(line);
    if (verify.outcome == JobOutcome::Mismatch) {
        Say(QStringLiteral("verify: %1 difference(s)").arg(verify.bytes.size()));
        return kVerifyMismatch;
    }
    Out(QStringLiteral("verify: %1 bytes match").arg(part.count()));
    return kSuccess;
}

// The chip's serial number, once everything else has succeeded: written
// with its bytes low first and read back in the same session. A chip that
// does not get it gives the number back for the next chip.
int Runner::WriteSerialNumber(JobEnv& env) {
    if (!prepared_.serials) return kSuccess;
    QString why;
    const std::optional<uint64_t> number = prepared_.serials->Take(&why);
    if (!number) return Fail(kFileError, why);
    EepromPart part;
    for (int i = 0; i < request_.serialBytes; ++i)
        part.Set(request_.serialAt + i, static_cast<uint8_t>(*number >> (8 * i)));
    progress_.SetPhase(QStringLiteral("serial"));
    EepromRead back;
    JobOutcome outcome = WriteEepromPart(env, part, progress_, &back);
    progress_.EndLine();
    EepromVerifyResult check;
    if (outcome == JobOutcome::Done) {
        check = CompareEeprom(back, part);
        outcome = check.outcome;
    }
    if (outcome != JobOutcome::Done) {
        for (const QString& line : DifferenceLines(check.bytes, "byte", 2, 2)) Say(line);
        QString lost;
        if (!prepared_.serials->GiveBack(*number, &lost))
            Say(QStringLiteral("qlarkw-cli: serial number %1 could not be given back: %2")
                    .arg(*number)
                    .arg(lost));
        Say(QStringLiteral("qlarkw-cli: serial number %1 was not written; the next chip gets it")
                .arg(*number));
        return outcome == JobOutcome::LinkFailure && back.count < memorymap::kEepromBytes &&
                       back.outcome == JobOutcome::Done
                   ? Fail(kLinkFailure, QStringLiteral("the Writer ended the EEPROM read early"))
                   : ExitFor(outcome);
    }
    facts_.serial = static_cast<uint32_t>(*number);
    Out(QStringLiteral("serial: %1 written at EEPROM 0x%2 (%3 byte(s), low byte first)")
            .arg(*number)
            .arg(HexDigits(request_.serialAt, 2))
            .arg(request_.serialBytes));
    return kSuccess;
}

// Program memory, the configuration word and the EEPROM, read whole and
// saved in one HEX file as PIC tools lay a chip out; restore takes it back.
int Runner::WholeBackup(JobEnv& env) {
    progress_.SetPhase(QStringLiteral("backup"));
    ProgramImage image;
    const JobOutcome outcome = ReadProgramMemory(env, progress_, &image);
    progress_.EndLine();
    if (outcome != JobOutcome::Done) return Finish(outcome);
    EepromProgress view(progress_);
    const EepromRead read = ReadEeprom(env, view);
    progress_.EndLine();
    if (const int code = WholeRead(read); code != kSuccess) return code;
    const QByteArray text = hexprogram::FormatChipImage(
        image.program, image.config[memorymap::kConfigWordIndex], read.bytes);
    if (const int code = SaveOutput(request_.output, text); code != kSuccess) return code;
    prepared_.sha256 =
        QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    Say(QStringLiteral("backup: %1 program words, the configuration word %2 and %3 EEPROM bytes "
                       "saved in %4")
            .arg(memorymap::kProgramWords)
            .arg(HexDigits(image.config[memorymap::kConfigWordIndex], 4))
            .arg(memorymap::kEepromBytes)
            .arg(IsStandardStream(request_.output) ? QStringLiteral("standard output")
                                                   : request_.output));
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

    EepromPart all;
    for (int address = 0; address < memorymap::kEepromBytes; ++address)
        all.Set(address, (*prepared_.eepromData)[address]);
    return EepromPartVerify(env, all);
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
