// qlarkw-cli's arguments.
//
// Input: the arguments after the program's name, UTF-8, separated by NUL
// bytes. Rules: a line that runs names a command of the usage with all its
// arguments, every number within its range; a usage error says why.
#include <QStringList>

#include "FuzzSupport.h"
#include "cli/CommandLine.h"
#include "link/protocol/MemoryMap.h"
#include "shared/AppState.h"

using fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList arguments;
    if (size > 0) {
        for (const QByteArray& word : fuzz::Bytes(data, size).split('\0'))
            arguments << QString::fromUtf8(word);
    }
    const cli::ParsedLine parsed = cli::ParseCommandLine(arguments);
    switch (parsed.outcome) {
        case cli::ParsedLine::Outcome::Help:
        case cli::ParsedLine::Outcome::Version:
            break;
        case cli::ParsedLine::Outcome::UsageError:
            Require(!parsed.error.isEmpty(), "a usage error says why");
            break;
        case cli::ParsedLine::Outcome::Run: {
            const cli::Request& r = parsed.request;
            const QString name = cli::CommandName(r.command);
            Require(
                QString::fromLatin1(cli::kUsage).contains(QStringLiteral("  ") + name + u' ') ||
                    QString::fromLatin1(cli::kUsage).contains(QStringLiteral("  ") + name + u'\n'),
                "a command that runs is one the usage names");
            Require(r.eepromAddress >= 0 && r.eepromAddress < memorymap::kEepromBytes &&
                        r.eepromValue >= 0 && r.eepromValue <= 0xFF,
                    "an EEPROM address is 0 to 63 and a byte 0 to 255");
            Require(!r.board || *r.board == kBoardQLark || *r.board == kBoardQLark2,
                    "the board is 1 or 2");
            Require(!r.config || (*r.config >= 0 && *r.config <= memorymap::kWordMask),
                    "a configuration word has 14 bits");
            const int wanted = name == u"write" || name == u"verify" || name == u"eeprom write" ||
                                       name == u"restore"
                                   ? 1
                               : name == u"eeprom set" ? 2
                                                       : 0;
            Require(r.arguments.size() == wanted, "a command has all its arguments and no more");
            for (const QString& argument : r.arguments)
                Require(arguments.contains(argument), "a command's arguments are given ones");
            Require(r.output.isEmpty() || arguments.contains(r.output),
                    "the output file is a given one");
            Require(r.writer.isEmpty() || arguments.contains(r.writer),
                    "the Writer is a given one");
            Require(r.jobs >= 0 && r.jobs <= 999 && (r.jobs == 0 || r.all),
                    "--jobs is 1 to 999, and only with --all");
            break;
        }
    }
    return 0;
}
