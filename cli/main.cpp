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

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    cli::InstallInterruptHandler();
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::Run(arguments, SettingsProgramDir());
}
