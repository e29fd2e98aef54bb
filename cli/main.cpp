#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "cli/CliApp.h"
#include "cli/Interrupt.h"

namespace {

// Where the settings file is looked for: the program's folder, except in
// the build tree, where the desktop program is built in a folder of its own
// and both share its settings file.
QString SettingsProgramDir() {
    const QString dir = QCoreApplication::applicationDirPath();
    if (QFileInfo(dir).canonicalFilePath() ==
        QFileInfo(QStringLiteral(QLARKW_BUILD_CLI_DIR)).canonicalFilePath())
        return QDir::cleanPath(QStringLiteral(QLARKW_BUILD_APP_DIR));
    return dir;
}

}  // namespace

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // The console shows the program's UTF-8 as such (its messages are
    // Japanese, whatever the console's code page), and the terminal
    // controls of the progress line.
    ::SetConsoleOutputCP(CP_UTF8);
    DWORD mode = 0;
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    if (::GetConsoleMode(err, &mode))
        ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#endif
    QCoreApplication app(argc, argv);
    cli::InstallInterruptHandler();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::Run(arguments, SettingsProgramDir());
}
