#include "cli/CliApp.h"

#include "cli/CliHost.h"
#include "link/Backends.h"
#include "program/HexProgram.h"
#include "program/ProgramJobs.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/InputFile.h"
#include "shell/SettingsFile.h"

namespace cli {
namespace {

constexpr char kUsage[] =
    "Usage: qlarkw-cli [options] COMMAND\n"
    "\n"
    "Commands:\n"
    "  write FILE.hex    write the HEX file into the PIC's program memory and\n"
    "                    then the configuration word\n"
    "  read              read program memory and the configuration block into a\n"
    "                    HEX file\n"
    "  erase             erase all of program memory\n"
    "  verify FILE.hex   compare program memory and the configuration bits with\n"
    "                    the HEX file\n"
    "\n"
    "Options:\n"
    "  --board 1|2       target board: 1 = Q-LARK (CN3), 2 = Q-LARK2 (CN2)\n"
    "  --config WORD     configuration word to write (decimal or 0x hex); default:\n"
    "                    the word in the HEX file, else the settings file's, else 26\n"
    "  --verify          with write: read back and compare\n"
    "  -o, --output FILE with read: the HEX file to write (default: qlark.hex in the\n"
    "                    current directory)\n"
    "  --verbose         tell which device is used and why opening it failed\n"
    "  -h, --help        show this help\n"
    "\n"
    "The board and the configuration word default to the settings file qlarkw.ini\n"
    "beside the program. QLARKW_DEVICE chooses the device (auto, sim, serial,\n"
    "serial:PATH, ftdi, d2xx).\n"
    "\n"
    "Exit codes: 0 success, 2 usage error, 3 file or HEX error, 4 communication\n"
    "failure, 5 no target board, 6 verify mismatch.\n";

struct Options {
    QString command;
    QString file;
    QString output;
    std::optional<int> board;
    std::optional<int16_t> config;
    bool verify = false;
    bool verbose = false;
    bool help = false;
};

std::optional<int16_t> ParseConfig(const QString& text) {
    bool ok = false;
    const int value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                          ? text.mid(2).toInt(&ok, 16)
                          : text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 0x3FFF) return std::nullopt;
    return static_cast<int16_t>(value);
}

// Returns an error message, or an empty string when the arguments are good.
QString Parse(const QStringList& args, Options* o) {
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) -> bool {
            if (i + 1 >= args.size()) return false;
            *out = args[++i];
            return true;
        };
        QString v;
        if (a == u"-h" || a == u"--help") {
            o->help = true;
        } else if (a == u"--verify") {
            o->verify = true;
        } else if (a == u"--verbose") {
            o->verbose = true;
        } else if (a == u"--board") {
            if (!value(&v) || (v != u"1" && v != u"2"))
                return QStringLiteral("--board takes 1 (Q-LARK) or 2 (Q-LARK2)");
            o->board = v.toInt();
        } else if (a == u"--config") {
            if (!value(&v)) return QStringLiteral("--config takes a word");
            o->config = ParseConfig(v);
            if (!o->config)
                return QStringLiteral("--config: \"%1\" is not a configuration word (0 to 0x3FFF)")
                    .arg(v);
        } else if (a == u"-o" || a == u"--output") {
            if (!value(&v) || v.isEmpty()) return QStringLiteral("%1 takes a file name").arg(a);
            o->output = v;
        } else if (a.startsWith(u'-') && a.size() > 1) {
            return QStringLiteral("unknown option %1").arg(a);
        } else {
            positional << a;
        }
    }
    if (o->help) return {};
    if (positional.isEmpty()) return QStringLiteral("no command given");
    o->command = positional.takeFirst();
    const bool takesFile = o->command == u"write" || o->command == u"verify";
    if (!takesFile && o->command != u"read" && o->command != u"erase")
        return QStringLiteral("unknown command \"%1\"").arg(o->command);
    if (takesFile) {
        if (positional.isEmpty()) return QStringLiteral("%1 needs a HEX file").arg(o->command);
        o->file = positional.takeFirst();
    }
    if (!positional.isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(positional.first());
    if (o->verify && o->command != u"write") return QStringLiteral("--verify goes with write");
    if (!o->output.isEmpty() && o->command != u"read") return QStringLiteral("-o goes with read");
    return {};
}

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
    Runner(const Options& options, const QString& programDir, Streams streams)
        : o_(options),
          streams_(streams),
          settings_(SettingsPathIn(programDir)),
          host_(clock_, streams.err, options.output),
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
    int RestoreSettings() {
        // As the desktop program: board 1 only for the stored "1".
        state_.BoardMode = o_.board.value_or(
            settings_.ReadSetting(QStringLiteral("Mode"), QStringLiteral("Q-LARK")) == u"1" ? 1
                                                                                            : 2);
        const QString word =
            settings_.ReadSetting(QStringLiteral("Config"), QStringLiteral("word"));
        if (word != texts::Text(texts::kSettingAbsent)) {
            const std::optional<int16_t> value = ParseSettingNumber(word);
            if (!value && !o_.config) {
                return Fail(kUsageError, QStringLiteral("%1: [Config] word \"%2\" is not a number")
                                             .arg(settings_.path(), word));
            }
            if (value) state_.ConfigWord = *value;
        }
        return kSuccess;
    }

    int Dispatch() {
        JobEnv env{*device_, host_, state_};
        if (o_.command == u"erase") return Finish(ErasePrgComm(env));
        if (o_.command == u"read") return Finish(ReadPrgComm(env, progress_));
        if (InputFile(o_.file, inputfile::kMaxHexBytes).error() == inputfile::Error::Missing) {
            host_.MessageBox(texts::Text(texts::kHexFileMissing), texts::Text(texts::kAppTitle),
                             MsgIcon::Critical, MsgButtons::Ok);
            return kFileError;
        }
        // The write's own check of the whole file comes first, so that write
        // and verify say the same of the same bad file.
        JobOutcome checked = JobOutcome::Done;
        const std::optional<hexprogram::WritePlan> plan = CheckHexFile(host_, o_.file, &checked);
        if (!plan) return Finish(checked);
        // The configuration word as the desktop program takes it: the
        // file's, unless the user chose another.
        if (LoadHexConfigWord(host_, state_, o_.file) == ConfigLoad::HexError) return kFileError;
        if (o_.config) state_.ConfigWord = *o_.config;
        if (o_.command == u"write") {
            const JobOutcome outcome = WritePrgComm(env, o_.file, progress_);
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
                if (address >= 1024) continue;  // beyond program memory: not kept by the chip
                ++compared;
                const uint16_t expected = hexprogram::Word(block, i);
                if (image.program[address] == expected) continue;
                ++mismatches;
                Say(QStringLiteral("verify: word 0x%1: file %2, chip %3")
                        .arg(HexDigits(address, 4), HexDigits(expected, 4),
                             HexDigits(image.program[address], 4)));
            }
        }
        const int sentBits = state_.ConfigWord & 0x7F;
        const int chipBits = image.config[7] & 0x7F;
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

    const Options& o_;
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
    Options options;
    const QString error = Parse(arguments, &options);
    if (options.help) {
        std::fputs(kUsage, streams.out);
        return kSuccess;
    }
    if (!error.isEmpty()) {
        std::fprintf(streams.err, "qlarkw-cli: %s\n\n%s", error.toUtf8().constData(), kUsage);
        return kUsageError;
    }
    Runner runner(options, programDir, streams);
    return runner.Run();
}

}  // namespace cli
