#include "shell/CommandLine.h"

#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace commandline {

StartRequest Parse(const QString& commandLine,
                   const std::function<bool(const QString&)>& fileExists) {
    StartRequest request;
    if (commandLine.isEmpty()) return request;

    // Leading blanks go; trailing blanks stay part of the argument.
    qsizetype first = 0;
    while (first < commandLine.size() && commandLine[first] == u' ') ++first;
    request.StartArgument = commandLine.mid(first);

    if (request.StartArgument.startsWith(u"/F") || request.StartArgument.startsWith(u"/f")) {
        request.StartMode = startmode::kEepromWrite;
        request.StartArgument = request.StartArgument.mid(2);
        return request;
    }
    if (request.StartArgument.right(4).toUpper() == u".HEX") {
        if (!fileExists(request.StartArgument)) {
            request.verdict = Verdict::CannotLoadFile;
            return request;
        }
        request.StartMode = startmode::kHexFile;
        return request;
    }
    request.verdict = Verdict::WrongArgument;
    return request;
}

QString AfterProgramName(const QString& processCommandLine) {
    const QString& line = processCommandLine;
    qsizetype i = 0;
    if (line.startsWith(u'"')) {
        const qsizetype close = line.indexOf(u'"', 1);
        i = close < 0 ? line.size() : close + 1;
    } else {
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t') ++i;
    }
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
    return line.mid(i);
}

QString FromArguments(int argc, const char* const* argv) {
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return AfterProgramName(QString::fromWCharArray(GetCommandLineW()));
#else
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    return words.join(u' ');
#endif
}

}  // namespace commandline
