#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

// Every command, option and environment variable a program's --help names
// is described in its man page, and qlarkw-cli's bash completion offers
// exactly the commands and options of its --help.

namespace {

struct Help {
    QStringList commands;   // "write", "eeprom read", ...
    QStringList options;    // "--board", "-o", ...
    QStringList variables;  // "QLARKW_DEVICE", ...
};

QString Output(const QString& program, const QStringList& arguments,
               const QString& workingDir = QString()) {
    QProcess process;
    if (!workingDir.isEmpty()) process.setWorkingDirectory(workingDir);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) return QStringLiteral("(did not end)");
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool IsOptionOrArgument(const QString& word) {
    return word.startsWith(u'-') || word.contains(u'|') || word == word.toUpper();
}

// The "Commands:" and "Options:" lists of a --help text: an entry starts two
// blanks in; continuation lines start further in.
Help ParseHelp(const QString& text) {
    Help help;
    enum class Section { None, Commands, Options } section = Section::None;
    static const QRegularExpression command(QStringLiteral("^  ([a-z]+(?: [a-z]+)*)(?: |$)"));
    for (const QString& line : text.split(u'\n')) {
        if (line == u"Commands:") {
            section = Section::Commands;
        } else if (line == u"Options:") {
            section = Section::Options;
        } else if (line.isEmpty() || !line.startsWith(u' ')) {
            section = Section::None;
        } else if (line.startsWith(u"  ") && line[2] != u' ') {
            if (section == Section::Commands) {
                const QRegularExpressionMatch m = command.match(line);
                if (m.hasMatch()) help.commands << m.captured(1);
            } else if (section == Section::Options) {
                // "-o, --output FILE with read: ..." -> -o, --output
                for (QString word : line.split(u' ', Qt::SkipEmptyParts)) {
                    if (!IsOptionOrArgument(word)) break;
                    word.remove(u',');
                    if (word.startsWith(u'-')) help.options << word;
                }
            }
        }
    }
    static const QRegularExpression variable(QStringLiteral("QLARKW_[A-Z_]+"));
    for (auto it = variable.globalMatch(text); it.hasNext();) {
        const QString name = it.next().captured(0);
        if (!help.variables.contains(name)) help.variables << name;
    }
    return help;
}

// A man page with roff's escapes for dashes, fonts and quotes taken out.
QString ManText(const QString& page) {
    QFile file(QStringLiteral(QLARKW_PACKAGING "/man/") + page);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")));
    text.remove(QStringLiteral("\\(lq")).remove(QStringLiteral("\\(rq"));
    return text;
}

// A section of the man page, from ".SH NAME" to the next ".SH".
QString ManSection(const QString& page, const QString& name) {
    const QString text = ManText(page);
    const qsizetype start = text.indexOf(QStringLiteral("\n.SH ") + name + u'\n');
    if (start < 0) return {};
    const qsizetype end = text.indexOf(QStringLiteral("\n.SH "), start + 1);
    return text.mid(start, end < 0 ? -1 : end - start);
}

// A ".B", ".BR" or ".BI" line of the section that names `word` (an option,
// a command or a variable) as a word of its own.
bool DescribedInBold(const QString& section, const QString& word) {
    const QRegularExpression item(
        QStringLiteral("^\\.B[IR]?\\s+\"?(?:[^\\n]*[\\s,\"])?%1(?![\\w-])")
            .arg(QRegularExpression::escape(word)),
        QRegularExpression::MultilineOption);
    return item.match(section).hasMatch();
}

QSet<QString> Words(const QString& text) {
    const QStringList list =
        text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return QSet<QString>(list.begin(), list.end());
}

// What the bash completion offers after `words` (the last one being
// completed), run in `dir`.
QSet<QString> Complete(const QStringList& words, const QString& dir = QString()) {
    const QString script = QStringLiteral(
        "source \"$1\"; shift; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _qlarkw_cli; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"");
    return Words(Output(QStringLiteral("bash"),
                        QStringList{QStringLiteral("--norc"), QStringLiteral("--noprofile"),
                                    QStringLiteral("-c"), script, QStringLiteral("bash"),
                                    QStringLiteral(QLARKW_PACKAGING "/bash-completion/qlarkw-cli"),
                                    QStringLiteral("qlarkw-cli")} +
                            words,
                        dir));
}

}  // namespace

TEST(DocsInStep, TheHelpIsReadAsExpected) {
    // The parser above, on qlarkw-cli's help: a wrong parse would make the
    // checks below pass on nothing.
    const Help help = ParseHelp(Output(QStringLiteral(QLARKW_CLI), {QStringLiteral("--help")}));
    EXPECT_EQ(help.commands, (QStringList{"write", "read", "erase", "verify", "backup", "restore",
                                          "eeprom read", "eeprom erase", "eeprom set",
                                          "eeprom write", "config", "version", "list", "doctor"}));
    EXPECT_EQ(help.options,
              (QStringList{"--board",  "--config",   "--verify", "--eeprom",    "-o",
                           "--output", "--writer",   "--all",    "--jobs",      "--watch",
                           "--json",   "--progress", "--serial", "--serial-at", "--serial-file",
                           "--log",    "--verbose",  "-h",       "--help",      "--version"}));
    EXPECT_TRUE(help.variables.contains("QLARKW_DEVICE"));
}

TEST(DocsInStep, EveryCommandOptionAndVariableOfTheHelpIsInTheManPage) {
    struct Program {
        const char* program;
        const char* page;
    } const programs[] = {{QLARKW_CLI, "qlarkw-cli.1"}, {QLARKW_SIM, "qlarkw-sim.1"}};
    for (const Program& p : programs) {
        SCOPED_TRACE(p.page);
        const Help help =
            ParseHelp(Output(QString::fromUtf8(p.program), {QStringLiteral("--help")}));
        EXPECT_FALSE(help.options.isEmpty());
        const QString page = QString::fromLatin1(p.page);
        for (const QString& command : help.commands)
            EXPECT_TRUE(DescribedInBold(ManSection(page, "COMMANDS"), command))
                << command.toStdString();
        for (const QString& option : help.options)
            EXPECT_TRUE(DescribedInBold(ManSection(page, "OPTIONS"), option))
                << option.toStdString();
        for (const QString& variable : help.variables)
            EXPECT_TRUE(ManText(page).contains(variable)) << variable.toStdString();
    }
}

TEST(DocsInStep, TheManPageCheckFindsAMissingOption) {
    const QString options = ManSection(QStringLiteral("qlarkw-cli.1"), QStringLiteral("OPTIONS"));
    EXPECT_TRUE(DescribedInBold(options, QStringLiteral("-o")));
    EXPECT_TRUE(DescribedInBold(options, QStringLiteral("--output")));
    // Neither a longer option nor a word of the text counts.
    EXPECT_FALSE(
        DescribedInBold(QStringLiteral("\n.B --outputs\nthe -o option\n"), QStringLiteral("-o")));
    EXPECT_FALSE(DescribedInBold(options, QStringLiteral("--board-name")));
}

TEST(DocsInStep, TheBashCompletionOffersTheHelpsCommandsAndOptions) {
    const Help help = ParseHelp(Output(QStringLiteral(QLARKW_CLI), {QStringLiteral("--help")}));
    QSet<QString> first, eeprom;
    for (const QString& command : help.commands) {
        const QStringList words = command.split(u' ');
        first << words[0];
        if (words.size() == 2 && words[0] == u"eeprom") eeprom << words[1];
    }
    EXPECT_EQ(Complete({""}), first);
    EXPECT_EQ(Complete({"-"}), QSet<QString>(help.options.begin(), help.options.end()));
    EXPECT_EQ(Complete({"eeprom", ""}), eeprom);
    // Options and their values before the command are passed over.
    EXPECT_EQ(Complete({"--board", "2", "--verbose", "eeprom", "w"}), (QSet<QString>{"write"}));
    EXPECT_EQ(Complete({"--board", ""}), (QSet<QString>{"1", "2"}));
    EXPECT_EQ(Complete({"--board", "=", ""}), (QSet<QString>{"1", "2"}));
    EXPECT_EQ(Complete({"--board", "1", "e"}), (QSet<QString>{"erase", "eeprom"}));
    EXPECT_EQ(Complete({"config", ""}), QSet<QString>{});
    EXPECT_EQ(Complete({"--jobs", "2", "--all", "e"}), (QSet<QString>{"erase", "eeprom"}));
    EXPECT_EQ(Complete({"--writer", "w-1", "l"}), (QSet<QString>{"list"}));
}

TEST(DocsInStep, TheBashCompletionOffersHexFilesForWriteAndVerify) {
    QTemporaryDir dir;
    for (const char* name : {"a.hex", "b.txt", "c.HEX"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QSet<QString> hex{"a.hex", "c.HEX", "sub"};
    EXPECT_EQ(Complete({"write", ""}, dir.path()), hex);
    EXPECT_EQ(Complete({"verify", ""}, dir.path()), hex);
    // Data files and output files may have any name.
    const QSet<QString> any{"a.hex", "b.txt", "c.HEX", "sub"};
    EXPECT_EQ(Complete({"eeprom", "write", ""}, dir.path()), any);
    EXPECT_EQ(Complete({"read", "-o", ""}, dir.path()), any);
}
