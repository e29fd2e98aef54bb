#include "cli/CliApp.h"

#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "link/Backends.h"
#include "link/protocol/MemoryMap.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/InputFile.h"
#include "shell/SettingsFile.h"
#include "shell/ShellSettings.h"

namespace cli {
namespace {

QString HexDigits(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

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
          settings_(SettingsPathIn(programDir)),
          host_(clock_, streams.err, request.output),
          progress_(streams.err) {
        host_.setBeforeMessage([this]() { progress_.EndLine(); });
    }

    int Run() {
        if (const int code = RestoreSettings(); code != kSuccess) return code;
        QString error;
        const QString choice = backends::DeviceChoiceFromEnvironment();
        device_ = backends::Create(choice, clock_, &error);
        if (!device_) return Fail(kUsageError, error);
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
        const int code = Dispatch();
        progress_.EndLine();
        return code;
    }

  private:
    // The board and the configuration word as the desktop program restores
    // them; an unreadable word is an error unless --config replaces it.
    int RestoreSettings() {
        using texts::Text;
        state_.BoardMode = o_.board.value_or(shellsettings::BoardFromSetting(
            settings_.ReadSetting(Text(texts::kSectionMode), Text(texts::kKeyQLark))));
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

    int Dispatch() {
        JobEnv env{*device_, host_, state_};
        if (o_.command == u"erase") return Finish(ErasePrgComm(env));
        if (o_.command == u"read") return Finish(ReadPrgComm(env, progress_));
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
    const QString file_;  // the HEX file of write and verify
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
