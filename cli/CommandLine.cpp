#include "cli/CommandLine.h"

#include <QCommandLineParser>
#include <QHash>
#include <algorithm>
#include <vector>

#include "link/protocol/MemoryMap.h"
#include "shared/AppState.h"
#include "shared/StrictOptions.h"

namespace cli {

namespace {

enum class Opt {
    Help,
    Version,
    Board,
    Config,
    Verify,
    Eeprom,
    Output,
    Writer,
    All,
    Jobs,
    Watch,
    Json,
    Progress,
    Serial,
    SerialAt,
    SerialFile,
    Log,
    Verbose
};

// The most Writers --jobs takes; more than any hub holds.
constexpr int kMaxJobs = 999;

struct OptionSpec {
    Opt id;
    QStringList names;  // the first is the one messages use
    QString valueName;  // empty for a switch
};

// The options, in the order their "goes with" checks run. An option that no
// command lists goes with every command.
const std::vector<OptionSpec>& OptionTable() {
    static const std::vector<OptionSpec> table = {
        {Opt::Help, {QStringLiteral("h"), QStringLiteral("help")}, {}},
        {Opt::Version, {QStringLiteral("version")}, {}},
        {Opt::Board, {QStringLiteral("board")}, QStringLiteral("1|2")},
        {Opt::Config, {QStringLiteral("config")}, QStringLiteral("WORD")},
        {Opt::Verify, {QStringLiteral("verify")}, {}},
        {Opt::Eeprom, {QStringLiteral("eeprom")}, {}},
        {Opt::Output, {QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("FILE")},
        {Opt::Writer, {QStringLiteral("writer")}, QStringLiteral("ID")},
        {Opt::All, {QStringLiteral("all")}, {}},
        {Opt::Jobs, {QStringLiteral("jobs")}, QStringLiteral("N")},
        {Opt::Serial, {QStringLiteral("serial")}, QStringLiteral("START[:STEP]")},
        {Opt::SerialAt, {QStringLiteral("serial-at")}, QStringLiteral("ADDR[:BYTES]")},
        {Opt::SerialFile, {QStringLiteral("serial-file")}, QStringLiteral("FILE")},
        {Opt::Log, {QStringLiteral("log")}, QStringLiteral("FILE")},
        {Opt::Watch, {QStringLiteral("watch")}, {}},
        {Opt::Json, {QStringLiteral("json")}, {}},
        {Opt::Progress, {QStringLiteral("progress")}, QStringLiteral("line|json")},
        {Opt::Verbose, {QStringLiteral("verbose")}, {}},
    };
    return table;
}

// One argument of a command: a text kept in Request::arguments, or a number
// from 0 to `max` (decimal or 0x hex) kept in `number`.
struct Argument {
    const char* what;  // "a HEX file", for "write needs a HEX file"
    int Request::*number = nullptr;
    int max = 0;
};

struct Command {
    CommandId id;
    QString name;                 // "write"; a command of a group is "group command"
    std::vector<Argument> takes;  // its arguments, in order
    std::vector<Opt> options;     // the options that go with this command only
};

const std::vector<Command>& CommandTable() {
    static const Argument hexFile{"a HEX file"};
    // --writer and --log go with every command that works with a Writer;
    // --all and --jobs with the jobs a class set of robots gets alike, the
    // serial numbers with the jobs that write a whole program.
    using O = Opt;
    static const std::vector<Command> table = {
        {CommandId::Write,
         QStringLiteral("write"),
         {hexFile},
         {O::Config, O::Verify, O::Eeprom, O::Writer, O::All, O::Jobs, O::Watch, O::Serial,
          O::SerialAt, O::SerialFile, O::Log}},
        {CommandId::Read, QStringLiteral("read"), {}, {O::Config, O::Output, O::Writer, O::Log}},
        {CommandId::Erase,
         QStringLiteral("erase"),
         {},
         {O::Config, O::Writer, O::All, O::Jobs, O::Log}},
        {CommandId::Verify,
         QStringLiteral("verify"),
         {hexFile},
         {O::Config, O::Writer, O::All, O::Jobs, O::Log}},
        {CommandId::Backup, QStringLiteral("backup"), {}, {O::Output, O::Writer, O::Log}},
        {CommandId::Restore,
         QStringLiteral("restore"),
         {hexFile},
         {O::Verify, O::Writer, O::All, O::Jobs, O::Serial, O::SerialAt, O::SerialFile, O::Log}},
        {CommandId::EepromRead, QStringLiteral("eeprom read"), {}, {O::Output, O::Writer, O::Log}},
        {CommandId::EepromErase, QStringLiteral("eeprom erase"), {}, {O::Writer, O::Log}},
        {CommandId::EepromSet,
         QStringLiteral("eeprom set"),
         {{"an EEPROM address", &Request::eepromAddress, memorymap::kEepromBytes - 1},
          {"a byte value", &Request::eepromValue, 0xFF}},
         {O::Writer, O::Log}},
        {CommandId::EepromWrite,
         QStringLiteral("eeprom write"),
         {{"a data file"}},
         {O::Verify, O::Writer, O::All, O::Jobs, O::Log}},
        {CommandId::Config, QStringLiteral("config"), {}, {O::Writer, O::Log}},
        {CommandId::Version, QStringLiteral("version"), {}, {O::Writer, O::Log}},
        {CommandId::List, QStringLiteral("list"), {}, {}},
        {CommandId::Doctor, QStringLiteral("doctor"), {}, {}},
    };
    return table;
}

const OptionSpec& SpecNamed(const QString& name) {
    for (const OptionSpec& entry : OptionTable()) {
        if (entry.names.contains(name)) return entry;
    }
    Q_UNREACHABLE();
}

// A number from 0 to `max` as the usage writes numbers: decimal digits, or
// 0x and hexadecimal digits; nothing else (no sign, no blanks).
std::optional<int64_t> ParseNumber64(const QString& text, int64_t max) {
    const bool hex = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive);
    const QStringView digits = QStringView(text).mid(hex ? 2 : 0);
    if (digits.isEmpty()) return std::nullopt;
    int64_t value = 0;
    for (const QChar c : digits) {
        const int digit = c >= u'0' && c <= u'9'          ? c.unicode() - '0'
                          : hex && c >= u'a' && c <= u'f' ? c.unicode() - 'a' + 10
                          : hex && c >= u'A' && c <= u'F' ? c.unicode() - 'A' + 10
                                                          : -1;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + digit;
        if (value > max) return std::nullopt;
    }
    return value;
}

std::optional<int> ParseNumber(const QString& text, int max) {
    const std::optional<int64_t> value = ParseNumber64(text, max);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

// "A[:B]": A from 0 to maxA, B (when given) from 1 to maxB.
std::optional<std::pair<int64_t, std::optional<int64_t>>> ParsePair(const QString& text,
                                                                    int64_t maxA, int64_t maxB) {
    const QStringList parts = text.split(u':');
    if (parts.size() > 2) return std::nullopt;
    const std::optional<int64_t> a = ParseNumber64(parts[0], maxA);
    if (!a) return std::nullopt;
    if (parts.size() == 1) return std::pair{*a, std::optional<int64_t>()};
    const std::optional<int64_t> b = ParseNumber64(parts[1], maxB);
    if (!b || *b == 0) return std::nullopt;
    return std::pair{*a, std::optional<int64_t>(*b)};
}

std::optional<int16_t> ParseConfig(const QString& text) {
    const std::optional<int> value = ParseNumber(text, memorymap::kWordMask);
    if (!value) return std::nullopt;
    return static_cast<int16_t>(*value);
}

// Checks one value of an option (none when the line ends before it) and
// keeps it. Returns the error message, or an empty string.
QString Take(Opt id, const QString& spelled, const std::optional<QString>& value, Request* r) {
    switch (id) {
        case Opt::Help:
        case Opt::Version:
            break;
        case Opt::Board:
            if (value != u"1" && value != u"2")
                return QStringLiteral("--board takes 1 (Q-LARK) or 2 (Q-LARK2)");
            r->board = value == u"1" ? kBoardQLark : kBoardQLark2;
            break;
        case Opt::Config:
            if (!value) return QStringLiteral("--config takes a word");
            r->config = ParseConfig(*value);
            if (!r->config) {
                return QStringLiteral("--config: \"%1\" is not a configuration word (0 to 0x%2)")
                    .arg(*value, QString::number(memorymap::kWordMask, 16).toUpper());
            }
            break;
        case Opt::Verify:
            r->verify = true;
            break;
        case Opt::Output:
            if (!value || value->isEmpty())
                return QStringLiteral("%1 takes a file name").arg(spelled);
            r->output = *value;
            break;
        case Opt::Writer:
            if (!value || value->isEmpty())
                return QStringLiteral("--writer takes a Writer's id (qlarkw-cli list shows them)");
            r->writer = *value;
            break;
        case Opt::All:
            r->all = true;
            break;
        case Opt::Jobs: {
            const std::optional<int> jobs = value ? ParseNumber(*value, kMaxJobs) : std::nullopt;
            if (!jobs || *jobs == 0)
                return QStringLiteral("--jobs takes a number of Writers, 1 to %1").arg(kMaxJobs);
            r->jobs = *jobs;
            break;
        }
        case Opt::Watch:
            r->watch = true;
            break;
        case Opt::Json:
            r->json = true;
            break;
        case Opt::Progress:
            if (value != u"line" && value != u"json")
                return QStringLiteral("--progress takes line or json");
            r->progress = *value == u"json" ? ProgressMode::Json : ProgressMode::Line;
            break;
        case Opt::Verbose:
            r->verbose = true;
            break;
        case Opt::Eeprom:
            r->eeprom = true;
            break;
        case Opt::Serial: {
            constexpr int64_t kMaxSerial = 0xFFFFFFFF;
            const auto pair = value ? ParsePair(*value, kMaxSerial, kMaxSerial) : std::nullopt;
            if (!pair) {
                return QStringLiteral(
                           "--serial takes START[:STEP], numbers 0 to %1 (STEP "
                           "from 1)")
                    .arg(kMaxSerial);
            }
            r->serialStart = static_cast<uint32_t>(pair->first);
            r->serialStep = static_cast<uint32_t>(pair->second.value_or(1));
            break;
        }
        case Opt::SerialAt: {
            constexpr int kMaxBytes = 4;
            const auto pair =
                value ? ParsePair(*value, memorymap::kEepromBytes - 1, kMaxBytes) : std::nullopt;
            const int bytes = pair ? static_cast<int>(pair->second.value_or(kMaxBytes)) : 0;
            if (!pair || pair->first + bytes > memorymap::kEepromBytes) {
                return QStringLiteral(
                           "--serial-at takes ADDR[:BYTES]: an EEPROM address and 1 to "
                           "%1 bytes that end at 0x%2 at most")
                    .arg(kMaxBytes)
                    .arg(QString::number(memorymap::kEepromBytes - 1, 16).toUpper());
            }
            r->serialAt = static_cast<int>(pair->first);
            r->serialBytes = bytes;
            break;
        }
        case Opt::SerialFile:
        case Opt::Log:
            if (!value || value->isEmpty())
                return QStringLiteral("%1 takes a file name").arg(spelled);
            (id == Opt::Log ? r->log : r->serialFile) = *value;
            break;
    }
    return {};
}

// Reads the options as the parser found them, from left to right: the first
// help or the first bad value decides.
ParsedLine::Outcome ReadOptions(const QCommandLineParser& parser, Request* r, QString* error) {
    QHash<QString, qsizetype> valuesRead;  // per option, by its first name
    for (const QString& name : parser.optionNames()) {
        const OptionSpec& entry = SpecNamed(name);
        if (entry.id == Opt::Help) return ParsedLine::Outcome::Help;
        if (entry.id == Opt::Version) return ParsedLine::Outcome::Version;
        std::optional<QString> value;
        if (!entry.valueName.isEmpty()) {
            const QStringList values = parser.values(name);
            const qsizetype index = valuesRead[entry.names.first()]++;
            if (index < values.size()) value = values[index];
        }
        *error = Take(entry.id, strictoptions::Spelled(name), value, r);
        if (!error->isEmpty()) return ParsedLine::Outcome::UsageError;
    }
    return ParsedLine::Outcome::Run;
}

const Command* CommandOf(const QStringList& positional) {
    for (const Command& command : CommandTable()) {
        const QStringList words = command.name.split(u' ');
        if (positional.mid(0, words.size()) == words) return &command;
    }
    return nullptr;
}

// The commands of the group `word`, without the group's name: "read, erase,
// set or write" for "eeprom"; empty when `word` names no group.
QStringList CommandsOfGroup(const QString& word) {
    QStringList names;
    for (const Command& command : CommandTable()) {
        if (command.name.startsWith(word + u' ')) names << command.name.section(u' ', 1);
    }
    return names;
}

// "write", "write or eeprom write", "write, read, erase or verify".
QString OneOf(const QStringList& names) {
    if (names.size() < 2) return names.join(QString());
    return names.first(names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") +
           names.last();
}

// The commands an option goes with, as "write"; empty when it goes with all.
QStringList CommandsTaking(Opt id) {
    QStringList names;
    for (const Command& command : CommandTable()) {
        if (std::find(command.options.begin(), command.options.end(), id) != command.options.end())
            names << command.name;
    }
    return names;
}

// Keeps one argument of `command`. Returns the error message, or an empty
// string.
QString TakeArgument(const Command& command, const Argument& argument, const QString& text,
                     Request* r) {
    if (!argument.number) {
        r->arguments << text;
        return {};
    }
    const std::optional<int> value = ParseNumber(text, argument.max);
    if (!value) {
        return QStringLiteral("%1: \"%2\" is not %3 (0 to 0x%4)")
            .arg(command.name, text, QLatin1String(argument.what),
                 QString::number(argument.max, 16).toUpper());
    }
    r->*argument.number = *value;
    r->arguments << text;
    return {};
}

// After the options: the command, its arguments, and options that do not go
// with it. Returns the error message, or an empty string.
QString ReadCommand(const QCommandLineParser& parser, Request* r) {
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return QStringLiteral("no command given");
    const Command* command = CommandOf(positional);
    if (!command) {
        const QStringList group = CommandsOfGroup(positional.first());
        if (group.isEmpty())
            return QStringLiteral("unknown command \"%1\"").arg(positional.first());
        if (positional.size() == 1)
            return QStringLiteral("%1 needs a command: %2").arg(positional.first(), OneOf(group));
        return QStringLiteral("unknown command \"%1 %2\"").arg(positional[0], positional[1]);
    }
    r->command = command->id;
    positional.remove(0, command->name.count(u' ') + 1);
    for (const Argument& argument : command->takes) {
        if (positional.isEmpty())
            return QStringLiteral("%1 needs %2").arg(command->name, QLatin1String(argument.what));
        const QString error = TakeArgument(*command, argument, positional.takeFirst(), r);
        if (!error.isEmpty()) return error;
    }
    if (!positional.isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(positional.first());
    for (const OptionSpec& entry : OptionTable()) {
        const QStringList takers = CommandsTaking(entry.id);
        if (takers.isEmpty() || takers.contains(command->name)) continue;
        if (parser.isSet(entry.names.first())) {
            return QStringLiteral("%1 goes with %2")
                .arg(strictoptions::Spelled(entry.names.first()), OneOf(takers));
        }
    }
    if (r->all && !r->writer.isEmpty())
        return QStringLiteral("--all and --writer exclude each other");
    if (r->jobs > 0 && !r->all) return QStringLiteral("--jobs goes with --all");
    if (r->json && IsStandardStream(r->output))
        return QStringLiteral("--json and -o - both print on standard output");
    if (r->watch && IsStandardStream(r->arguments.value(0)))
        return QStringLiteral("--watch needs a file, not standard input");
    if (r->serialStart && r->serialBytes == 0)
        return QStringLiteral("--serial needs --serial-at: where in the EEPROM the number goes");
    if (r->serialBytes > 0 && !r->serialStart)
        return QStringLiteral("--serial-at needs --serial: the first number");
    if (r->serialStart && *r->serialStart > SerialMax(r->serialBytes)) {
        return QStringLiteral("--serial: %1 does not fit in %2 byte(s)")
            .arg(*r->serialStart)
            .arg(r->serialBytes);
    }
    if (!r->serialFile.isEmpty() && !r->serialStart)
        return QStringLiteral(
            "--serial-file needs --serial (its START is used while the file does not exist)");
    if (r->command == CommandId::Backup && r->output.isEmpty())
        return QStringLiteral("backup needs -o FILE: the HEX file to write");
    return {};
}

ParsedLine WithUsageError(const QString& error) {
    ParsedLine parsed;
    parsed.outcome = ParsedLine::Outcome::UsageError;
    parsed.error = error;
    return parsed;
}

}  // namespace

uint64_t SerialMax(int bytes) {
    return bytes >= 8 ? UINT64_MAX : (uint64_t{1} << (8 * bytes)) - 1;
}

QString CommandName(CommandId id) {
    for (const Command& command : CommandTable()) {
        if (command.id == id) return command.name;
    }
    Q_UNREACHABLE();
}

ParsedLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    // A word after one dash is one name: "-ofile" is an unknown option, not -o
    // with a value.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QList<QCommandLineOption> options;
    for (const OptionSpec& entry : OptionTable())
        options << QCommandLineOption(entry.names, QString(), entry.valueName);
    parser.addOptions(options);

    const QStringList line = QStringList{QStringLiteral("qlarkw-cli")} + arguments;
    const qsizetype refused = strictoptions::FirstRefused(options, line, true);
    // The options before a refused argument are read first, as the line runs.
    parser.parse(refused >= 0 ? line.first(refused) : line);

    ParsedLine parsed;
    QString error;
    parsed.outcome = ReadOptions(parser, &parsed.request, &error);
    if (parsed.outcome == ParsedLine::Outcome::Help ||
        parsed.outcome == ParsedLine::Outcome::Version)
        return parsed;
    if (parsed.outcome == ParsedLine::Outcome::UsageError) return WithUsageError(error);
    if (refused >= 0) return WithUsageError(QStringLiteral("unknown option %1").arg(line[refused]));
    error = ReadCommand(parser, &parsed.request);
    if (!error.isEmpty()) return WithUsageError(error);
    return parsed;
}

}  // namespace cli
