#include <QCoreApplication>

#include "cli/CliApp.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return cli::Run(arguments, QCoreApplication::applicationDirPath());
}
