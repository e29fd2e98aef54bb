// qlarkw: the desktop program of the Writer.
#include <QApplication>
#include <QMessageBox>

#include "app/StartupProbe.h"
#include "backends/Backends.h"
#include "desktop/DesktopServices.h"
#include "desktop/FormMain.h"
#include "desktop/GuiHost.h"
#include "desktop/ShellContext.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shell/CommandLine.h"
#include "shell/InstanceLock.h"
#include "version/ProgramVersion.h"
#include "windowbase/StandardTexts.h"

#include <cstdio>
#include <cstring>

#ifdef Q_OS_UNIX
#include "app/SessionEnd.h"
#endif

int main(int argc, char* argv[]) {
    // The one option of the command-line conventions the program takes
    // besides its own command line: it needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("qlarkw %s\n", programversion::kText);
        return 0;
    }
    StartupProbe probe;  // QLARKW_STARTUP_PROBE, for the benchmark
    // The command line belongs to the program, as one text: Qt gets only the
    // program's name, so none of its own options are taken out of it.
    const QString commandLine = commandline::FromArguments(argc, argv);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    // Qt's own file dialogs, not the desktop's: they speak Japanese with the
    // rest of the program whatever the system's language.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(qtArgc, qtArgv);
    probe.Install();
    // Application "qlarkw" without an organization: Qt's AppConfigLocation
    // is ~/.config/qlarkw, where an installed program keeps its settings
    // (UserSettingsDir, SettingsPathFor).
    QApplication::setApplicationName(QStringLiteral("qlarkw"));
    QApplication::setOrganizationName(QString());
    // The program speaks Japanese on every system, Qt's standard buttons and
    // dialogs too; without Qt's translation they stay in English.
    InstallJapaneseStandardTexts(app);

    SteadyClock clock;
    CommonDialogState commonDialog;
    GuiHost host(clock, commonDialog);

    QString error;
    std::unique_ptr<Device> device =
        backends::Create(backends::DeviceChoiceFromEnvironment(), clock, &error);
    if (!device) {
        host.MessageBox(error, texts::Text(texts::kAppTitle), MsgIcon::Critical, MsgButtons::Ok);
        return 2;
    }

    AppState state;
    ExecRunner runner;
    SystemDesktop desktop;
    ShellContext context{clock,
                         *device,
                         host,
                         state,
                         runner,
                         desktop,
                         commonDialog,
                         QCoreApplication::applicationDirPath(),
                         commandLine,
                         DefaultInstanceLockPath(),
                         []() { QCoreApplication::quit(); }};

    FormMain window(context);
#ifdef Q_OS_UNIX
    // The end of the session (SIGTERM, SIGHUP) and Ctrl+C close the main
    // window as its Exit button does, so the settings are stored. While a
    // dialog or a message box is open, before the main window is shown, or
    // while the EEPROM write form stands in for it, the program ends as it
    // always did. The handler is in place before the start-up check, so a
    // signal that comes while the window is being shown waits for the event
    // loop instead of ending the program.
    // A signal often comes twice (timeout(1) and the terminal send it to the
    // program and to its whole process group): once the window is closing,
    // the rest are left unanswered, as the program is ending anyway.
    bool closing = false;
    SessionEnd sessionEnd([&window, &closing](int signal) {
        if (closing) return;
        if (QApplication::activeModalWidget() || !window.isVisible())
            SessionEnd::EndAsDefault(signal);
        closing = true;
        window.close();
    });
#endif
    switch (window.FormLoad()) {
        case FormMain::LoadResult::Ended:
            return 0;
        case FormMain::LoadResult::Waiting:
            window.show();
            break;
        case FormMain::LoadResult::EepromWriteForm:
            break;  // the form ends the program when it closes
    }
    return app.exec();
}
