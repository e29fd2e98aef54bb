#pragma once

#include <QString>
#include <cstdint>

// BoardMode: the target board and the Writer's connector it is plugged into.
inline constexpr int16_t kBoardQLark = 1;   // Q-LARK, connector CN3
inline constexpr int16_t kBoardQLark2 = 2;  // Q-LARK2, connector CN2

// StartMode: what the command line asked for.
namespace startmode {
inline constexpr int16_t kNormal = 0;
inline constexpr int16_t kEepromWrite = 1;  // "/F" and a data file
inline constexpr int16_t kHexFile = 2;      // the path of a HEX file to write
}  // namespace startmode

// StartupCheckState: where start-up's Writer check stands.
namespace startupcheck {
inline constexpr int16_t kDone = 0;       // not running (finished, or never started)
inline constexpr int16_t kRunning = 1;    // start-up runs and the check may run
inline constexpr int16_t kNotOpened = 2;  // the check could not open the Writer
}  // namespace startupcheck

// The program-wide values. One instance lives for the whole run; the program
// (desktop or command line) owns it and hands it to jobs and windows.
struct AppState {
    // Configuration word sent by the next program write. Default: HS
    // oscillator, watchdog off, power-up timer off, code protection off.
    static constexpr int16_t kDefaultConfigWord = 26;

    int16_t ConfigWord = kDefaultConfigWord;
    int16_t ProceedToWrite = 0;  // the configuration dialog has closed
    int16_t BoardMode = 0;       // kBoardQLark or kBoardQLark2; 0 until restored
    bool QuietOpen = false;      // the next OpenWriter shows no message on failure
    int16_t StartupCheckState = startupcheck::kDone;
    int16_t StartMode = startmode::kNormal;
    QString StartArgument;
    QString VersionText;
    QString SettingsPath;
    int16_t ConfRegLeft = 0;
    int16_t ConfRegTop = 0;
    QString EepromCellText;
    bool EepromWritten = false;
    bool EepromViewerActivated = false;
    bool StartupWaitActive = false;
    // A line the program adds under the message of a Writer this user may
    // not open: where it tells more (the desktop program: its manual).
    QString NoPermissionHint;
};
