#pragma once

#include <QString>
#include <QStringList>

struct AppState;

// What the desktop program keeps in a section of its own of the settings
// file, beside the three settings every run reads: the two check items of
// the memory menu and the recently chosen HEX files. Each is written when it
// changes; a failed write is silent (the value holds for this run).
namespace desktopsettings {

inline constexpr int kMaxRecentFiles = 8;

struct Options {
    bool verifyAfterWrite = false;  // read the chip back after a write
    bool writeHexEeprom = false;    // write the HEX file's EEPROM data too
};

Options ReadOptions(const AppState& state);
void StoreVerifyAfterWrite(const AppState& state, bool on);
void StoreWriteHexEeprom(const AppState& state, bool on);

// The recent files, newest first; empty entries are left out.
QStringList ReadRecentFiles(const AppState& state);
// Writes all eight entries (the file keeps every key once written).
void StoreRecentFiles(const AppState& state, const QStringList& files);

// `files` with `path` first and no other copy of it (letter case ignored
// where the file system ignores it), at most kMaxRecentFiles long.
QStringList WithRecent(QStringList files, const QString& path);

}  // namespace desktopsettings
