#pragma once

#include <QString>
#include <functional>

class Clock;
class Device;
class DesktopServices;
class Host;
class ModalRunner;
struct AppState;
struct CommonDialogState;

// Everything the desktop program's windows take from the program around
// them. main() builds it from the platform; tests from the simulated Writer
// on a virtual clock, a recording Host and scripted dialogs.
struct ShellContext {
    Clock& clock;
    Device& device;
    Host& host;
    AppState& state;
    ModalRunner& runner;
    DesktopServices& desktop;
    CommonDialogState& commonDialog;
    // The directory of the program's executable: settings and help file.
    QString programDir;
    // The whole argument text after the program's name.
    QString commandLine;
    // The lock file that tells a second instance that one runs already.
    QString instanceLockPath;
    // Ends the program's event loop (the main window has closed).
    std::function<void()> quit;
};
