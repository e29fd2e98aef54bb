#include <QCoreApplication>

#include "cli/CliApp.h"

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
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::Run(arguments, QCoreApplication::applicationDirPath());
}
