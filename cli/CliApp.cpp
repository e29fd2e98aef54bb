#include "cli/CliApp.h"

#include "backends/Backends.h"
#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "cli/ManyWriters.h"
#include "config/ConfRegJobs.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/EepromJobs.h"
#include "link/protocol/MemoryMap.h"
#include "link/protocol/Protocol.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/FileExists.h"
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
    explicit EepromProgress(LineProgress& progress) : progress_(progress) {}
    void SetBusy(bool) override {}
    void SetStatusText(const QString& text) override { progress_.SetStatusText(text); }
    void SetCell(int address, const QString&) override {
        progress_.SetProgress(address + 1, memorymap::kEepromBytes);
    }

  private:
    LineProgress& progress_;
};

// The device as the jobs see it, keeping the status of its last open (a
// Writer the user may not open is told apart); with --verbose (`say` set)
// it tells when the bridge's latency timer could not be set (the job goes
// on, only slower).
class VerboseDevice final : public Device {
  public:
    VerboseDevice(std::unique_ptr<Device> inner, std::function<void(const QString&)> say)
        : inner_(std::move(inner)), say_(std::move(say)) {}
    FtStatus OpenEx(const QByteArray& d) override { return openStatus_ = inner_->OpenEx(d); }
    FtStatus openStatus() const { return openStatus_; }
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
        if (status != FT_OK && say_) {
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
    FtStatus openStatus_ = FT_OK;
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

// An exchange that is never made: the --all check of the input file runs
// the job's own file checks, which end before the Writer is opened.
class UnusedDevice final : public Device {
  public:
    FtStatus OpenEx(const QByteArray&) override { return FT_DEVICE_NOT_OPENED; }
    FtStatus Purge(uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetTimeouts(uint32_t, uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetBaudRate(uint32_t) override { return FT_INVALID_HANDLE; }
    FtStatus SetDataCharacteristics(uint8_t, uint8_t, uint8_t) override {
        return FT_INVALID_HANDLE;
    }
    FtStatus SetFlowControl(uint16_t, uint8_t, uint8_t) override { return FT_INVALID_HANDLE; }
    FtStatus Write(const uint8_t*, uint32_t, uint32_t*) override { return FT_INVALID_HANDLE; }
    FtStatus Read(uint8_t*, uint32_t, uint32_t*) override { return FT_INVALID_HANDLE; }
    FtStatus Close() override { return FT_INVALID_HANDLE; }
};

// One command on one Writer. A run over many Writers makes one Runner per
// Writer, each in its own thread: nothing in it is shared but the request,
// which is only read.
class Runner {
  public:
    // `progress`: where the job's progress goes; nullptr for the terminal's
    // one updating line.
    Runner(const Request& request, const QString& settingsPath, Streams streams,
           LineProgress* progress = nullptr)
        : o_(request),
          file_(request.arguments.value(0)),
          streams_(streams),
          settings_(settingsPath),
          host_(clock_, streams.err, request.output),
          ownProgress_(progress ? nullptr : std::make_unique<TerminalProgress>(streams.err)),
          progress_(progress ? *progress : *ownProgress_) {
        host_.setBeforeMessage([this](const QString& line) {
            progress_.EndLine();
            lastSaid_ = line;
        });
    }

    // Restores the board and, for the program-memory commands, the
    // configuration word from the settings file.
    int Restore() { return RestoreSettings(HandlerOf(o_.command)->usesConfigWord); }
    const AppState& state() const { return state_; }
    void setState(const AppState& state) { state_ = state; }

    // Checks the command's input file as its job does, before any Writer is
    // opened; the job's own message when it is bad.
    int CheckInput() {
        if (o_.command == u"write" || o_.command == u"verify") {
            JobOutcome checked = JobOutcome::Done;
            if (const int code = CheckHex(&checked); code != kSuccess) return code;
            return kSuccess;
        }
        if (o_.command == u"eeprom write") {
            if (FileExists(file_) && eepromfile::Load(file_).error == eepromfile::Error::None)
                return kSuccess;
            // Refused by the job before it opens the Writer.
            UnusedDevice unused;
            JobEnv env{unused, host_, state_};
            return Finish(WriteEepromFile(env, file_, progress_));
        }
        return kSuccess;
    }

    // The command on the device `choice` names.
    int RunOn(const QString& choice) {
        const Handler* handler = HandlerOf(o_.command);
        QString error;
        device_ = backends::Create(choice, clock_, &error);
        if (!device_) return Fail(kUsageError, error);
        auto watched = std::make_unique<VerboseDevice>(
            std::move(device_), o_.verbose ? std::function<void(const QString&)>(
                                                 [this](const QString& line) { Say(line); })
                                           : nullptr);
        watched_ = watched.get();
        device_ = std::move(watched);
        if (o_.verbose) {
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

    // The last message or result line, on one line: the table's message.
    const QString& lastSaid() const { return lastSaid_; }

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

    int ProgramErase(JobEnv& env) {
        progress_.SetPhase(QStringLiteral("erase"));
        return Finish(ErasePrgComm(env));
    }
    // A read-out that cannot be saved: the job's message, then the file and
    // the reason.
    int ProgramRead(JobEnv& env) {
        QString why;
        const JobOutcome outcome = ReadPrgComm(env, progress_, &why);
        if (outcome == JobOutcome::FileError && !why.isEmpty()) return Fail(kFileError, why);
        return Finish(outcome);
    }

    // The HEX file as write and verify take it: there, valid, and its
    // configuration word loaded (unless --config replaces it).
    int CheckHex(JobOutcome* checked, std::optional<hexprogram::WritePlan>* planOut = nullptr) {
        if (InputFile(file_, inputfile::kMaxHexBytes).error() == inputfile::Error::Missing) {
            host_.MessageBox(texts::Text(texts::kHexFileMissing), texts::Text(texts::kAppTitle),
                             MsgIcon::Critical, MsgButtons::Ok);
            return kFileError;
        }
        // The write's own check of the whole file comes first, so that write
        // and verify say the same of the same bad file.
        const std::optional<hexprogram::WritePlan> plan = CheckHexFile(host_, file_, checked);
        if (!plan) return Finish(*checked);
        // The configuration word as the desktop program takes it: the
        // file's, unless the user chose another.
        if (LoadHexConfigWord(host_, state_, file_) == ConfigLoad::HexError) return kFileError;
        if (o_.config) state_.ConfigWord = *o_.config;
        if (planOut) *planOut = plan;
        return kSuccess;
    }

    int ProgramWriteOrVerify(JobEnv& env) {
        JobOutcome checked = JobOutcome::Done;
        std::optional<hexprogram::WritePlan> plan;
        if (const int code = CheckHex(&checked, &plan); code != kSuccess) return code;
        if (o_.command == u"write") {
            progress_.SetPhase(QStringLiteral("write"));
            const JobOutcome outcome = WritePrgComm(env, file_, progress_);
            if (outcome != JobOutcome::Done || !o_.verify) return Finish(outcome);
        }
        return Verify(env, *plan);
    }

    int Verify(JobEnv& env, const hexprogram::WritePlan& plan) {
        progress_.SetPhase(QStringLiteral("verify"));
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
        Out(QStringLiteral("verify: %1 words and the configuration bits match").arg(compared));
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
        progress_.SetPhase(QStringLiteral("eeprom write"));
        const JobOutcome outcome = WriteEepromFile(env, file_, progress_);
        progress_.EndLine();
        if (outcome != JobOutcome::Done || !o_.verify) return Finish(outcome);

        const eepromfile::Contents data = eepromfile::Load(file_);
        if (data.error != eepromfile::Error::None)
            return Fail(kFileError, QStringLiteral("%1 can no longer be read").arg(file_));
        EepromBytes chip{};
        progress_.SetPhase(QStringLiteral("eeprom verify"));
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
        Out(QStringLiteral("verify: %1 bytes match").arg(memorymap::kEepromBytes));
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
            // The query opens quietly; a Writer the user may not open is
            // no missing Writer: say what gives access.
            if (watched_ && watched_->openStatus() == FT_NO_PERMISSION) {
                host_.MessageBox(texts::Text(texts::kNoPermissionLine1) +
                                     texts::Text(texts::kCrLf) +
                                     texts::Text(texts::kNoPermissionLine2),
                                 texts::Text(texts::kAppTitle), MsgIcon::Critical, MsgButtons::Ok);
                return kLinkFailure;
            }
            return Fail(kLinkFailure, QStringLiteral("no firmware version from the Writer (not "
                                                     "connected, or no answer)"));
        }
        std::fprintf(streams_.out, "%s\n", version->toUtf8().constData());
        return kSuccess;
    }

    int Finish(JobOutcome outcome) {
        progress_.EndLine();
        if (o_.verbose && outcome == JobOutcome::NotOpened && device_ &&
            !device_->LastError().isEmpty())
            Say(QStringLiteral("device: ") + device_->LastError());
        return ExitFor(outcome);
    }

    void Say(const QString& line) {
        progress_.EndLine();
        std::fprintf(streams_.err, "%s\n", line.toUtf8().constData());
        std::fflush(streams_.err);
        lastSaid_ = line;
    }

    // A result line on stdout.
    void Out(const QString& line) {
        std::fprintf(streams_.out, "%s\n", line.toUtf8().constData());
        lastSaid_ = line;
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
    std::unique_ptr<TerminalProgress> ownProgress_;
    LineProgress& progress_;
    std::unique_ptr<Device> device_;
    VerboseDevice* watched_ = nullptr;  // device_ itself
    QString lastSaid_;
};

// qlarkw-cli list: one line per Writer, the columns aligned.
int ListWriters(const Request& request, Streams streams) {
    const backends::WriterList list = backends::List(backends::DeviceChoiceFromEnvironment());
    if (!list.error.isEmpty()) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
        return kUsageError;
    }
    if (list.writers.empty() || request.verbose) {
        for (const QString& note : list.notes)
            std::fprintf(streams.err, "qlarkw-cli: %s\n", note.toUtf8().constData());
    }
    if (list.writers.empty()) {
        std::fprintf(streams.err, "qlarkw-cli: no Writer found (QLARKW_DEVICE=%s)\n",
                     backends::DeviceChoiceFromEnvironment().toUtf8().constData());
        return kLinkFailure;
    }
    int idWidth = 0;
    for (const backends::WriterEntry& entry : list.writers)
        idWidth = std::max(idWidth, static_cast<int>(entry.id.size()));
    for (const backends::WriterEntry& entry : list.writers) {
        const QString line = entry.id.leftJustified(idWidth) + QStringLiteral("  ") +
                             entry.backend.leftJustified(6) + QStringLiteral("  ") + entry.location;
        std::fprintf(streams.out, "%s\n", line.toUtf8().constData());
    }
    return kSuccess;
}

// A stream the job of one Writer prints to while others run; read back
// when it has ended.
class Transcript {
  public:
    Transcript() : file_(std::tmpfile()) {}
    ~Transcript() {
        if (file_) std::fclose(file_);
    }
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;
    bool ok() const { return file_ != nullptr; }
    FILE* file() const { return file_; }
    QString Text() const {
        if (!file_) return {};
        std::fflush(file_);
        std::rewind(file_);
        QByteArray bytes;
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) bytes.append(buffer, n);
        return QString::fromUtf8(bytes);
    }

  private:
    FILE* file_;
};

// The job on every listed Writer at once. The input file is checked once
// before any Writer is opened; then each Writer runs in its own thread with
// its own device, host and copy of the settings.
int RunOnAll(const Request& request, const QString& settingsPath, Streams streams) {
    const backends::WriterList list = backends::List(backends::DeviceChoiceFromEnvironment());
    if (!list.error.isEmpty()) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
        return kUsageError;
    }
    if (list.writers.empty()) {
        for (const QString& note : list.notes)
            std::fprintf(streams.err, "qlarkw-cli: %s\n", note.toUtf8().constData());
        std::fprintf(streams.err, "qlarkw-cli: no Writer found for --all\n");
        return kLinkFailure;
    }
    AppState restored;
    {
        Runner check(request, settingsPath, streams);
        if (const int code = check.Restore(); code != kSuccess) return code;
        restored = check.state();
        if (const int code = check.CheckInput(); code != kSuccess) return code;
    }
    QStringList ids;
    for (const backends::WriterEntry& entry : list.writers) ids << entry.id;
    ProgressBoard board(streams.err, ids, IsTerminal(streams.err));
    const std::vector<WriterOutcome> outcomes =
        RunEach(static_cast<int>(list.writers.size()), request.jobs, [&](int index) {
            WriterOutcome outcome;
            Transcript err;
            Transcript out;
            const auto started = std::chrono::steady_clock::now();
            if (!err.ok() || !out.ok()) {
                outcome.exitCode = kFileError;
                outcome.message = QStringLiteral("no temporary file for the job's messages");
            } else {
                Runner runner(request, settingsPath, Streams{out.file(), err.file()},
                              &board.Line(index));
                runner.setState(restored);
                outcome.exitCode = runner.RunOn(list.writers[index].choice);
                outcome.message = runner.lastSaid();
                outcome.transcript = err.Text();
                outcome.output = out.Text();
            }
            outcome.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count();
            board.Finish(index, outcome.exitCode);
            return outcome;
        });
    board.Close();

    // What each Writer printed, marked with its id: the results on stdout,
    // the messages of those that failed on stderr.
    std::vector<int> codes;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const WriterOutcome& outcome = outcomes[i];
        codes.push_back(outcome.exitCode);
        auto print = [&](FILE* stream, const QString& text) {
            for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
                std::fprintf(stream, "%s: %s\n", ids[i].toUtf8().constData(),
                             line.toUtf8().constData());
        };
        if (outcome.exitCode != kSuccess) print(streams.err, outcome.transcript);
        print(streams.out, outcome.output);
    }
    std::fflush(streams.err);
    std::fputs(OutcomeTable(ids, outcomes).toUtf8().constData(), streams.out);
    std::fflush(streams.out);
    return WorstExit(codes);
}

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
    const Request& request = parsed.request;
    if (request.command == u"list") return ListWriters(request, streams);
    const QString settingsPath = SettingsPathFor(programDir, UserSettingsDir());
    if (request.all) return RunOnAll(request, settingsPath, streams);

    QString choice = backends::DeviceChoiceFromEnvironment();
    if (!request.writer.isEmpty()) {
        const backends::WriterList list = backends::List(choice);
        if (!list.error.isEmpty()) {
            std::fprintf(streams.err, "qlarkw-cli: %s\n", list.error.toUtf8().constData());
            return kUsageError;
        }
        const std::optional<backends::WriterEntry> entry =
            backends::FindWriter(list, request.writer);
        if (!entry) {
            std::fprintf(streams.err,
                         "qlarkw-cli: no Writer \"%s\" (qlarkw-cli list shows the Writers)\n",
                         request.writer.toUtf8().constData());
            return kLinkFailure;
        }
        choice = entry->choice;
    }
    Runner runner(request, settingsPath, streams);
    if (const int code = runner.Restore(); code != kSuccess) return code;
    return runner.RunOn(choice);
}

}  // namespace cli
