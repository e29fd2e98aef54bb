#include "cli/Runner.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include "backends/Backends.h"
#include "cli/RunLog.h"
#include "cli/VerboseDevice.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/OutputFile.h"
#include "shell/ShellSettings.h"

namespace cli {
namespace {

// What a command needs from outside before a Writer is opened.
enum class Input { None, HexFile, DataFile };

// The HEX file from standard input, within the HEX file's bound.
hexprogram::FileText ReadStandardInput() {
    hexprogram::FileText file;
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        file.openError = inputfile::Error::Unreadable;
        return file;
    }
    file.openError = inputfile::Error::None;
    file.text = in.read(inputfile::kMaxHexBytes + 1);
    file.complete = file.text.size() <= inputfile::kMaxHexBytes && in.error() == QFile::NoError;
    return file;
}

// Why the write refuses a HEX file, in words.
QString RefusalReason(const hexprogram::WritePlan& plan) {
    switch (plan.error) {
        case hexprogram::WalkError::None:
            break;
        case hexprogram::WalkError::Hex:
            if (plan.errorLine == 0) return QStringLiteral("the file holds no record");
            if (plan.recordError != hex::RecordError::None)
                return QLatin1String(hex::RecordErrorName(plan.recordError));
            return QStringLiteral(
                "the record starts below an address already written (records must ascend "
                "without overlap)");
        case hexprogram::WalkError::Processing:
            return QStringLiteral("a word whose high byte is 0x80 or more");
        case hexprogram::WalkError::Read:
            return QStringLiteral("the file could not be read to its end");
    }
    return {};
}

std::unique_ptr<LineProgress> MakeProgress(const Request& request, FILE* err, Clock& clock,
                                           std::mutex& mutex) {
    if (request.progress == ProgressMode::Json)
        return std::make_unique<JsonProgress>(err, clock, request.writer, mutex);
    return std::make_unique<TerminalProgress>(err, clock, LineStyleFor(err));
}

}  // namespace

// What runs each command. The program-memory commands restore the
// configuration word from the settings file; the others leave it alone.
struct Runner::Command {
    CommandId id;
    int (Runner::*run)(JobEnv&);
    bool takesConfigWord;
    Input input;
};

const Runner::Command& Runner::CommandOf(CommandId id) {
    static constexpr Command kCommands[] = {
        {CommandId::Write, &Runner::ProgramWrite, true, Input::HexFile},
        {CommandId::Read, &Runner::ProgramRead, true, Input::None},
        {CommandId::Erase, &Runner::ProgramErase, true, Input::None},
        {CommandId::Verify, &Runner::ProgramVerify, true, Input::HexFile},
        {CommandId::Backup, &Runner::WholeBackup, false, Input::None},
        {CommandId::Restore, &Runner::ProgramWrite, true, Input::HexFile},
        {CommandId::EepromRead, &Runner::EepromReadOut, false, Input::None},
        {CommandId::EepromErase, &Runner::EepromErase, false, Input::None},
        {CommandId::EepromSet, &Runner::EepromSet, false, Input::None},
        {CommandId::EepromWrite, &Runner::EepromWrite, false, Input::DataFile},
        {CommandId::Config, &Runner::ShowConfigWord, false, Input::None},
        {CommandId::Version, &Runner::ShowFirmwareVersion, false, Input::None},
    };
    for (const Command& command : kCommands) {
        if (command.id == id) return command;
    }
    Q_UNREACHABLE();
}

Runner::Runner(const Request& request, const QString& settingsPath, Streams streams,
               LineProgress* progress, const std::atomic<bool>* stop)
    : request_(request),
      file_(request.arguments.value(0)),
      streams_(streams),
      settings_(settingsPath),
      host_(clock_, streams.err, request.output),
      ownProgress_(progress ? nullptr : MakeProgress(request, streams.err, clock_, progressMutex_)),
      progress_(progress ? *progress : *ownProgress_),
      stop_(stop) {
    host_.setBeforeMessage([this](const QString& line) {
        progress_.EndLine();
        lastSaid_ = line;
        said_ << line;
    });
}

Runner::~Runner() = default;

int Runner::Prepare(const hexprogram::FileText* hexFile) {
    const Command& command = CommandOf(request_.command);
    if (const int code = RestoreSettings(command.takesConfigWord); code != kSuccess) return code;
    switch (command.input) {
        case Input::None:
            break;
        case Input::HexFile:
            if (const int code =
                    PrepareHexText(hexFile                   ? *hexFile
                                   : IsStandardStream(file_) ? ReadStandardInput()
                                                             : hexprogram::ReadFile(file_));
                code != kSuccess)
                return code;
            if (request_.command == CommandId::Restore) {
                if (const int code = CheckRestoreMap(); code != kSuccess) return code;
            }
            break;
        case Input::DataFile: {
            // Refused as the write refuses it, before any Writer is opened.
            prepared_.eepromData = CheckEepromDataFile(host_, file_);
            if (!prepared_.eepromData) return Finish(JobOutcome::FileError);
            const hexprogram::FileText data = hexprogram::ReadFile(file_);
            if (data.complete)
                prepared_.sha256 = QString::fromLatin1(
                    QCryptographicHash::hash(data.text, QCryptographicHash::Sha256).toHex());
            break;
        }
    }
    if (request_.serialStart && !prepared_.serials) {
        prepared_.serials =
            std::make_shared<SerialNumbers>(*request_.serialStart, request_.serialStep,
                                            SerialMax(request_.serialBytes), request_.serialFile);
    }
    return kSuccess;
}

// What restore writes is the whole chip and nothing else: a file with a byte
// anywhere else in the map is not a copy of this chip.
int Runner::CheckRestoreMap() {
    const hexprogram::WritePlan& plan = *prepared_.plan;
    if (!plan.outside) return kSuccess;
    return Fail(kFileError,
                QStringLiteral("%1 line %2: byte address 0x%3 lies outside the PIC's memory (%4 "
                               "such byte(s)); restore takes program memory 0000-07FF, the "
                               "configuration word at 400E and the EEPROM at 4200-427F; nothing "
                               "was written")
                    .arg(file_)
                    .arg(plan.outside->line)
                    .arg(QString::number(plan.outside->byteAddress, 16).toUpper())
                    .arg(plan.outsideBytes));
}

int Runner::RunOn(const QString& choice) {
    QString error;
    device_ = backends::Create(choice, clock_, &error);
    if (!device_) return Fail(kUsageError, error);
    auto watched = std::make_unique<VerboseDevice>(
        std::move(device_), request_.verbose ? std::function<void(const QString&)>(
                                                   [this](const QString& line) { Say(line); })
                                             : nullptr);
    watched_ = watched.get();
    device_ = std::move(watched);
    if (request_.verbose) {
        const QStringList order = backends::AutoOrder();
        Say(QStringLiteral("device: %1%2, board %3, settings %4")
                .arg(choice, choice == u"auto"
                                 ? QStringLiteral(" (tries: %1)")
                                       .arg(order.isEmpty() ? QStringLiteral("none")
                                                            : order.join(QStringLiteral(", ")))
                                 : QString())
                .arg(prepared_.state.BoardMode)
                .arg(settings_.path()));
    }
    JobEnv env{*device_, host_, prepared_.state, stop_};
    facts_ = RunFacts{};
    facts_.started = QDateTime::currentDateTime();
    facts_.writer = writerId_.isEmpty() ? choice : writerId_;
    if (auto* json = dynamic_cast<JsonProgress*>(ownProgress_.get()))
        json->SetWriter(facts_.writer);
    QElapsedTimer elapsed;
    elapsed.start();
    // A Ctrl-C before the job began: the Writer is never touched.
    int code = stop_ && stop_->load() ? Stopped() : (this->*CommandOf(request_.command).run)(env);
    progress_.EndLine();
    LogRun(&code, elapsed.elapsed());
    return code;
}

// The facts of the run, and its line in the log. A line that cannot be
// written fails a run that had succeeded: the log is part of what was asked.
void Runner::LogRun(int* code, qint64 elapsedMs) {
    facts_.command = CommandName(request_.command);
    facts_.file = request_.command == CommandId::Backup ? request_.output : file_;
    facts_.sha256 = prepared_.sha256;
    facts_.exitCode = *code;
    facts_.outcome = OutcomeWord(*code);
    facts_.seconds = elapsedMs / 1000.0;
    facts_.message = lastSaid_;
    facts_.message.replace(u'\n', u' ');
    if (request_.log.isEmpty()) return;
    QString why;
    if (!AppendToLog(request_.log, facts_, &why)) {
        Say(QStringLiteral("qlarkw-cli: the run log was not written: ") + why);
        if (*code == kSuccess) *code = kFileError;
    }
}

// The board and the configuration word as the desktop program restores
// them; an unreadable word is an error unless --config replaces it.
int Runner::RestoreSettings(bool withConfigWord) {
    using texts::Text;
    // A settings file that is there but not read is named whatever
    // --verbose says: its board and word are not the ones used.
    if (const QString why = settings_.ReadProblem(); !why.isEmpty()) {
        Say(QStringLiteral("qlarkw-cli: %1: settings not read (%2); the defaults are used")
                .arg(settings_.path(), why));
    }
    AppState& state = prepared_.state;
    state.BoardMode = request_.board.value_or(shellsettings::BoardFromSetting(
        settings_.ReadSetting(Text(texts::kSectionMode), Text(texts::kKeyQLark))));
    if (!withConfigWord) return kSuccess;
    const QString word = settings_.ReadSetting(Text(texts::kSectionConfig), Text(texts::kKeyWord));
    const std::optional<int16_t> value = shellsettings::ConfigWordFromSetting(word);
    if (!value && !request_.config) {
        return Fail(kUsageError, QStringLiteral("%1: [%2] %3 \"%4\" is not a number")
                                     .arg(settings_.path(), Text(texts::kSectionConfig),
                                          Text(texts::kKeyWord), word));
    }
    if (value) state.ConfigWord = *value;
    return kSuccess;
}

// The HEX file as write and verify take it: there, valid, and its
// configuration word loaded (unless --config replaces it); read once.
int Runner::PrepareHexText(const hexprogram::FileText& file) {
    if (file.openError == inputfile::Error::Missing) {
        host_.MessageBox(texts::Text(texts::kHexFileMissing), texts::Text(texts::kAppTitle),
                         MsgIcon::Critical, MsgButtons::Ok);
        return kFileError;
    }
    // The write's own check of the whole file comes first, so that write
    // and verify say the same of the same bad file.
    JobOutcome checked = JobOutcome::Done;
    prepared_.plan = CheckHexFile(host_, file, &checked);
    if (!prepared_.plan) {
        SayWhyRefused(file);
        return Finish(checked);
    }
    prepared_.sha256 = QString::fromLatin1(
        QCryptographicHash::hash(file.text, QCryptographicHash::Sha256).toHex());
    // The configuration word as the desktop program takes it: the file's,
    // unless the user chose another.
    if (LoadHexConfigWord(host_, prepared_.state, file) == ConfigLoad::HexError) return kFileError;
    if (request_.config) prepared_.state.ConfigWord = *request_.config;
    prepared_.hexText = file.text;
    return kSuccess;
}

// After the job's own message: which line of the file, and why.
void Runner::SayWhyRefused(const hexprogram::FileText& file) {
    if (!file.opened()) return;
    hexprogram::WritePlan plan;
    if (file.complete)
        plan = hexprogram::PlanWrite(file.text);
    else
        plan.error = hexprogram::WalkError::Read;
    if (plan.error == hexprogram::WalkError::None) return;
    const QString name = IsStandardStream(file_) ? QStringLiteral("(standard input)") : file_;
    const QString where =
        plan.errorLine > 0 ? QStringLiteral("%1:%2").arg(name).arg(plan.errorLine) : name;
    Say(QStringLiteral("qlarkw-cli: %1: %2").arg(where, RefusalReason(plan)));
}

int Runner::SaveOutput(const QString& path, const QByteArray& content) {
    if (IsStandardStream(path)) {
        if (std::fwrite(content.constData(), 1, content.size(), streams_.out) !=
                static_cast<size_t>(content.size()) ||
            std::fflush(streams_.out) != 0)
            return Fail(kFileError, QStringLiteral("standard output: not written"));
        return kSuccess;
    }
    QString why;
    if (outputfile::Save(path, content, &why) != outputfile::Error::None)
        return Fail(kFileError, why);
    return kSuccess;
}

// Ctrl-C: what the chip holds now, in plain words.
int Runner::Stopped() {
    progress_.EndLine();
    incomplete_ = writing_;
    if (!writing_) {
        Say(QStringLiteral("qlarkw-cli: stopped by Ctrl-C"));
    } else if (request_.command == CommandId::EepromWrite) {
        Say(
            QStringLiteral("qlarkw-cli: stopped by Ctrl-C: the EEPROM is only partly written; "
                           "write it again before use"));
    } else {
        Say(
            QStringLiteral("qlarkw-cli: stopped by Ctrl-C: the chip is only partly written; "
                           "write it again before use"));
    }
    return kInterrupted;
}

int Runner::Finish(JobOutcome outcome) {
    if (outcome == JobOutcome::Interrupted) return Stopped();
    progress_.EndLine();
    if (request_.verbose && outcome == JobOutcome::NotOpened && device_ &&
        !device_->LastError().isEmpty())
        Say(QStringLiteral("device: ") + device_->LastError());
    return ExitFor(outcome);
}

void Runner::Say(const QString& line) {
    progress_.EndLine();
    std::fprintf(streams_.err, "%s\n", line.toUtf8().constData());
    std::fflush(streams_.err);
    lastSaid_ = line;
    said_ << line;
}

void Runner::Out(const QString& line) {
    std::fprintf(streams_.out, "%s\n", line.toUtf8().constData());
    lastSaid_ = line;
}

int Runner::Fail(int code, const QString& message) {
    Say(QStringLiteral("qlarkw-cli: ") + message);
    return code;
}

}  // namespace cli
