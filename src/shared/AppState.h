#pragma once

#include <QString>
#include <cstdint>

// The program-wide values. One instance lives for the whole run; the program
// (desktop or command line) owns it and hands it to jobs and windows.
struct AppState {
    // Configuration word sent by the next program write. Default: HS
    // oscillator, watchdog off, power-up timer off, code protection off.
    static constexpr int16_t kDefaultConfigWord = 26;

    int16_t ConfigWord = kDefaultConfigWord;
    int16_t ProceedToWrite = 0;  // the configuration dialog has closed
    int16_t BoardMode = 0;       // 1 = Q-LARK (CN3), 2 = Q-LARK2 (CN2); 0 until restored
    bool QuietOpen = false;      // the next OpenWriter shows no message on failure
    int16_t StartupCheckState =
        0;                  // 1 while start-up may run its Writer check, 2 when it failed to open
    int16_t StartMode = 0;  // 0 normal, 1 EEPROM-write start, 2 HEX-file start
    QString StartArgument;
    QString VersionText;
    QString SettingsPath;
    int16_t ConfRegLeft = 0;
    int16_t ConfRegTop = 0;
    QString EepromCellText;
    bool EepromWritten = false;
    bool EepromViewerActivated = false;
    bool StartupWaitActive = false;
};
