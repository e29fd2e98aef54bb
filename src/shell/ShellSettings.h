#pragma once

#include <QString>
#include <cstdint>
#include <optional>

struct AppState;

// The three settings the desktop program keeps between runs, read at
// start-up and stored at shut-down, in the settings file at
// AppState::SettingsPath.
namespace shellsettings {

// The value under [section] key, or "???" when the file, the section or the
// key is missing.
QString ReadSetting(const AppState& state, const QString& section, const QString& key);

// Writes the value; false when it could not be written (the file is then
// left as it was).
bool WriteSetting(const AppState& state, const QString& section, const QString& key,
                  const QString& value);

// "1.08 2005.5" for version 1.8: major, ".", minor in two digits, the date.
QString BuildVersionText(int major, int minor);

// [Mode] Q-LARK: exactly "1" selects Q-LARK (1); anything else, absent
// included, Q-LARK2 (2).
int16_t BoardFromSetting(const QString& value);

// [Config] word: absent ("???") gives 26; a decimal number that fits 16 bits
// gives its value; anything else nothing (a start-up error).
std::optional<int16_t> ConfigWordFromSetting(const QString& value);

// Shut-down: a normal start stores the HEX file and the configuration word;
// every start stores the board. Each is tried; false when any could not be
// stored.
bool StoreAtShutdown(const AppState& state, const QString& hexFileName);

}  // namespace shellsettings
