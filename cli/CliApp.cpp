#include "cli/CliApp.h"

#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "config/ConfRegJobs.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/EepromJobs.h"
#include "link/Backends.h"
#include "link/protocol/MemoryMap.h"
#include "link/protocol/Protocol.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/InputFile.h"
#include "shared/OutputFile.h"
#include "shell/FirmwareVersion.h"
#include "shell/SettingsFile.h"
#include "shell/ShellSettings.h"

namespace cli {
namespace {

QString HexDigits(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

using EepromBytes = std::array<uint8_t, memorymap::kEepromBytes>;

// The EEPROM viewer's table: a header line "+0h" to "+Fh", then the rows
// " 00h" to " 30h", each with its 16 bytes; every column four characters
// wide, so the values stand under the headers.
QString EepromTable(const EepromBytes& bytes) {
    constexpr int kColumns = 16;
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
    explicit EepromProgress(TerminalProgress& progress) : progress_(progress) {}
    void SetBusy(bool) override {}
    void SetStatusText(const QString& text) override { progress_.SetStatusText(text); }
    void SetCell(int address, const QString&) override {
        progress_.SetProgress(address + 1, memorymap::kEepromBytes);
    }

  private:
    TerminalProgress& progress_;
};

// --verbose: the device as the jobs see it, telling when the bridge's
// latency timer could not be set (the job goes on, only slower).
class VerboseDevice final : public Device {
  public:
    VerboseDevice(std::unique_ptr<Device> inner, std::function<void(const QString&)> say)
        : inner_(std::move(inner)), say_(std::move(say)) {}
    FtStatus OpenEx(const QByteArray& d) override { return inner_->OpenEx(d); }
    FtStatus Purge(uint32_t m) override { return inner_->Purge(m); }
    FtStatus SetTimeouts(uint32_t r, uint32_t w) override { return inner_->SetTimeouts(r, w); }
    FtStatus SetBaudRate(uint32_t b) override { return inner_->SetBaudRate(b); }
    FtStatus SetDataCharacteristics(uint8_t w, uint8_t s, uint8_t p) override {
        return inner_->SetDataCharacteristics(w, s, p);
    }
    FtStatus SetFlowControl(uint16_t f, uint8_t on, uint8_t off) override {
        return inner_->SetFlowControl(f, on, off);
    }
    FtStatus SetLatencyTimer(uint8_t ms) override {
        const FtStatus status = inner_->SetLatencyTimer(ms);
        if (status != FT_OK) {
            const QString why = inner_->LastError();
            say_(QStringLiteral("device: latency timer not set to %1 ms (%2); each reply may wait "
                                "for the bridge's own timer")
                     .arg(ms)
                     .arg(why.isEmpty() ? QLatin1String(FtStatusName(status)) : why));
        }
        return status;
    }
    FtStatus Write(const uint8_t* d, uint32_t n, uint32_t* w) override {
        return inner_->Write(d, n, w);
    }
    FtStatus Read(uint8_t* d, uint32_t n, uint32_t* r) override { return inner_->Read(d, n, r); }
    FtStatus Close() override { return inner_->Close(); }
    QString LastError() const override { return inner_->LastError(); }

  private:
    std::unique_ptr<Device> inner_;
    std::function<void(const QString&)> say_;
};

int ExitFor(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Done:
        case JobOutcome::Cancelled:
            return kSuccess;
        case JobOutcome::FileError:
        case JobOutcome::HexError:
            return kFileError;
        case JobOutcome::NoBoard:
            return kNoBoard;
        case JobOutcome::NotOpened:
        case JobOutcome::LinkFailure:
        case JobOutcome::WriteError:
            return kLinkFailure;
    }
    return kLinkFailure;
}

class Runner {
  public:
    Runner(const Request& request, const QString& programDir, Streams streams)
        : o_(request),
          file_(request.arguments.value(0)),
          streams_(streams),
          settings_(SettingsPathFor(programDir, UserSettingsDir())),
          host_(clock_, streams.err, request.output),
          progress_(streams.err) {
        host_.setBeforeMessage([this]() { progress_.EndLine(); });
    }

    int Run() {
        const Handler* handler = HandlerOf(o_.command);
        if (const int code = RestoreSettings(handler->usesConfigWord); code != kSuccess)
            return code;
        QString error;
        const QString choice = backends::DeviceChoiceFromEnvironment();
        device_ = backends::Create(choice, clock_, &error);
        if (!device_) return Fail(kUsageError, error);
        if (o_.verbose) {
            device_ = std::make_unique<VerboseDevice>(std::move(device_),
                                                      [this](const QString& line) { Say(line); });
            const QStringList order = backends::AutoOrder();
            Say(QStringLiteral("device: %1%2, board %3, settings %4")
                    .arg(choice, choice == u"auto"
                                     ? QStringLiteral(" (tries: %1)")
                                           .arg(order.isEmpty() ? QStringLiteral("none")
                                                                : order.join(QStringLiteral(", ")))
                                     : QString())
                    .arg(state_.BoardMode)
                    .arg(settings_.path()));
        }
        JobEnv env{*device_, host_, state_};
        const int code = (this->*handler->run)(env);
        progress_.EndLine();
        return code;
    }

  private:
    // What runs each command. The program-memory commands restore the
    // configuration word from the settings file; the others leave it alone.
    struct Handler {
        QStringView command;
        int (Runner::*run)(JobEnv&);
        bool usesConfigWord;
    };

    static const Handler* HandlerOf(const QString& command) {
        static const Handler kHandlers[] = {
            {u"write", &Runner::ProgramWriteOrVerify, true},
            {u"read", &Runner::ProgramRead, true},
            {u"erase", &Runner::ProgramErase, true},
            {u"verify", &Runner::ProgramWriteOrVerify, true},
            {u"eeprom read", &Runner::EepromReadOut, false},
            {u"eeprom erase", &Runner::EepromErase, false},
            {u"eeprom set", &Runner::EepromSet, false},
            {u"eeprom write", &Runner::EepromWrite, false},
            {u"config", &Runner::ShowConfigWord, false},
            {u"version", &Runner::ShowFirmwareVersion, false},
        };
        for (const Handler& handler : kHandlers) {
            if (handler.command == command) return &handler;
        }
        Q_UNREACHABLE();
    }

    // The board and the configuration word as the desktop program restores
    // them; an unreadable word is an error unless --config replaces it.
    int RestoreSettings(bool withConfigWord) {
        using texts::Text;
        state_.BoardMode = o_.board.value_or(shellsettings::BoardFromSetting(
            settings_.ReadSetting(Text(texts::kSectionMode), Text(texts::kKeyQLark))));
        if (!withConfigWord) return kSuccess;
        const QString word =
            settings_.ReadSetting(Text(texts::kSectionConfig), Text(texts::kKeyWord));
        const std::optional<int16_t> value = shellsettings::ConfigWordFromSetting(word);
        if (!value && !o_.config) {
            return Fail(kUsageError, QStringLiteral("%1: [%2] %3 \"%4\" is not a number")
                                         .arg(settings_.path(), Text(texts::kSectionConfig),
                                              Text(texts::kKeyWord), word));
        }
        if (value) state_.ConfigWord = *value;
        return kSuccess;
    }

    int ProgramErase(JobEnv& env) { return Finish(ErasePrgComm(env)); }
    int ProgramRead(JobEnv& env) { return Finish(ReadPrgComm(env, progress_)); }

    int ProgramWriteOrVerify(JobEnv& env) {
        if (InputFile(file_, inputfile::kMaxHexBytes).error() == inputfile::Error::Missing) {
            host_.MessageBox(texts::Text(texts::kHexFileMissing), texts::Text(texts::kAppTitle),
                             MsgIcon::Critical, MsgButtons::Ok);
            return kFileError;
        }
        // The write's own check of the whole file comes first, so that write
        // and verify say the same of the same bad file.
        JobOutcome checked = JobOutcome::Done;
        const std::optional<hexprogram::WritePlan> plan = CheckHexFile(host_, file_, &checked);
        if (!plan) return Finish(checked);
        // The configuration word as the desktop program takes it: the
        // file's, unless the user chose another.
        if (LoadHexConfigWord(host_, state_, file_) == ConfigLoad::HexError) return kFileError;
        if (o_.config) state_.ConfigWord = *o_.config;
        if (o_.command == u"write") {
            const JobOutcome outcome = WritePrgComm(env, file_, progress_);
            if (outcome != JobOutcome::Done || !o_.verify) return Finish(outcome);
        }
        return Verify(env, *plan);
    }

    int Verify(JobEnv& env, const hexprogram::WritePlan& plan) {
        ProgramImage image;
        const JobOutcome outcome = ReadProgramMemory(env, progress_, &image);
        progress_.EndLine();
        if (outcome != JobOutcome::Done) return Finish(outcome);

        int mismatches = 0;
        int compared = 0;
        for (const hexprogram::Block& block : plan.blocks) {
            for (int i = 0; i < block.words(); ++i) {
                const int address = block.wordAddress + i;
                // Beyond program memory: not kept by the chip.
                if (address >= memorymap::kProgramWords) continue;
                ++compared;
                const uint16_t expected = hexprogram::Word(block, i);
                if (image.program[address] == expected) continue;
                ++mismatches;
                Say(QStringLiteral("verify: word 0x%1: file %2, chip %3")
                        .arg(HexDigits(address, 4), HexDigits(expected, 4),
                             HexDigits(image.program[address], 4)));
            }
        }
        const int sentBits = state_.ConfigWord & memorymap::kConfigBitsMask;
        const int chipBits = image.config[memorymap::kConfigWordIndex] & memorymap::kConfigBitsMask;
        if (sentBits != chipBits) {
            ++mismatches;
            Say(QStringLiteral("verify: configuration bits 6..0: file %1, chip %2")
                    .arg(HexDigits(sentBits, 2), HexDigits(chipBits, 2)));
        }
        if (mismatches > 0) {
            Say(QStringLiteral("verify: %1 difference(s)").arg(mismatches));
            return kVerifyMismatch;
        }
        std::fprintf(streams_.out, "verify: %d words and the configuration bits match\n", compared);
        return kSuccess;
    }

    // Reads all 64 EEPROM bytes. A read the Writer ended early is a failure
    // here: no table and no backup is ever made of part of the EEPROM.
    int ReadWholeEeprom(JobEnv& env, EepromBytes* bytes) {
        EepromProgress view(progress_);
        const EepromRead read = ReadEeprom(env, view);
        progress_.EndLine();
        if (read.outcome != JobOutcome::Done) return Finish(read.outcome);
        if (read.count < memorymap::kEepromBytes) {
            const QString why =
                QStringLiteral("the Writer ended the EEPROM read after %1 of %2 bytes")
                    .arg(read.count)
                    .arg(memorymap::kEepromBytes);
            return Fail(kLinkFailure, why);
        }
        *bytes = read.bytes;
        return kSuccess;
    }

    // Without -o the table on stdout; with it the data file, which eeprom
    // write takes back.
    int EepromReadOut(JobEnv& env) {
        EepromBytes bytes{};
        if (const int code = ReadWholeEeprom(env, &bytes); code != kSuccess) return code;
        if (o_.output.isEmpty()) {
            std::fputs(EepromTable(bytes).toUtf8().constData(), streams_.out);
            return kSuccess;
        }
        QString why;
        if (outputfile::Save(o_.output, eepromfile::Format(bytes), &why) != outputfile::Error::None)
            return Fail(kFileError, why);
        Say(QStringLiteral("eeprom: %1 bytes saved in %2")
                .arg(memorymap::kEepromBytes)
                .arg(o_.output));
        return kSuccess;
    }

    int EepromErase(JobEnv& env) {
        EepromProgress view(progress_);
        return Finish(EraseEeprom(env, view));
    }

    int EepromSet(JobEnv& env) {
        const JobOutcome outcome =
            WriteEepromByte(env, o_.eepromAddress, static_cast<uint8_t>(o_.eepromValue));
        // As the byte editor does: the PIC is given its time for the byte
        // before anything else can open the Writer.
        if (outcome == JobOutcome::Done) host_.Sleep(pauses::kEepromByteWrittenMs);
        return Finish(outcome);
    }

    int EepromWrite(JobEnv& env) {
        const JobOutcome outcome = WriteEepromFile(env, file_, progress_);
        progress_.EndLine();
        if (outcome != JobOutcome::Done || !o_.verify) return Finish(outcome);

        const eepromfile::Contents data = eepromfile::Load(file_);
        if (data.error != eepromfile::Error::None)
            return Fail(kFileError, QStringLiteral("%1 can no longer be read").arg(file_));
        EepromBytes chip{};
        if (const int code = ReadWholeEeprom(env, &chip); code != kSuccess) return code;
        int mismatches = 0;
        for (int address = 0; address < memorymap::kEepromBytes; ++address) {
            if (chip[address] == data.bytes[address]) continue;
            ++mismatches;
            Say(QStringLiteral("verify: byte 0x%1: file %2, chip %3")
                    .arg(HexDigits(address, 2), HexDigits(data.bytes[address], 2),
                         HexDigits(chip[address], 2)));
        }
        if (mismatches > 0) {
            Say(QStringLiteral("verify: %1 difference(s)").arg(mismatches));
            return kVerifyMismatch;
        }
        std::fprintf(streams_.out, "verify: %d bytes match\n", memorymap::kEepromBytes);
        return kSuccess;
    }

    // The configuration register viewer's four lines, one per line.
    int ShowConfigWord(JobEnv& env) {
        NullProgressView quiet;  // the job's status text is the display, printed below
        const ConfRegRead read = ReadConfRegComm(env, quiet);
        if (read.outcome != JobOutcome::Done) return Finish(read.outcome);
        if (!read.configByte) return kLinkFailure;
        QString lines = ConfRegDisplayText(*read.configByte);
        lines.replace(texts::Text(texts::kCrLf), QStringLiteral("\n"));
        std::fprintf(streams_.out, "%s\n", lines.toUtf8().constData());
        return kSuccess;
    }

    int ShowFirmwareVersion(JobEnv& env) {
        const std::optional<QString> version =
            QueryFirmwareVersion(env.device, env.host, env.state);
        if (!version) {
            if (o_.verbose && !device_->LastError().isEmpty())
                Say(QStringLiteral("device: ") + device_->LastError());
            return Fail(kLinkFailure, QStringLiteral("no firmware version from the Writer (not "
                                                     "connected, or no answer)"));
        }
        std::fprintf(streams_.out, "%s\n", version->toUtf8().constData());
        return kSuccess;
    }

    int Finish(JobOutcome outcome) {
        progress_.EndLine();
        if (o_.verbose && outcome == JobOutcome::NotOpened && !device_->LastError().isEmpty())
            Say(QStringLiteral("device: ") + device_->LastError());
        return ExitFor(outcome);
    }

    void Say(const QString& line) {
        progress_.EndLine();
        std::fprintf(streams_.err, "%s\n", line.toUtf8().constData());
        std::fflush(streams_.err);
    }

    int Fail(int code, const QString& message) {
        Say(QStringLiteral("qlarkw-cli: ") + message);
        return code;
    }

    const Request& o_;
    const QString file_;  // the HEX file of write and verify, the data file of eeprom write
    Streams streams_;
    SettingsFile settings_;
    SteadyClock clock_;
    AppState state_;
    CliHost host_;
    TerminalProgress progress_;
    std::unique_ptr<Device> device_;
};

}  // namespace

int Run(const QStringList& arguments, const QString& programDir, Streams streams) {
    const ParsedLine parsed = ParseCommandLine(arguments);
    switch (parsed.outcome) {
        case ParsedLine::Outcome::Help:
            std::fputs(kUsage, streams.out);
            return kSuccess;
        case ParsedLine::Outcome::UsageError:
            std::fprintf(streams.err, "qlarkw-cli: %s\n\n%s", parsed.error.toUtf8().constData(),
                         kUsage);
            return kUsageError;
        case ParsedLine::Outcome::Run:
            break;
    }
    Runner runner(parsed.request, programDir, streams);
    return runner.Run();
}

}  // namespace cli
