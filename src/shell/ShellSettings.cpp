#include "shell/ShellSettings.h"

#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shell/SettingsFile.h"

using texts::Text;

namespace shellsettings {

QString ReadSetting(const AppState& state, const QString& section, const QString& key) {
    return SettingsFile(state.SettingsPath).ReadSetting(section, key);
}

bool WriteSetting(const AppState& state, const QString& section, const QString& key,
                  const QString& value) {
    // SettingsFile replaces the file atomically, so a failure keeps the old one.
    return SettingsFile(state.SettingsPath).WriteSetting(section, key, value);
}

QString BuildVersionText(int major, int minor) {
    return QString::number(major) + u'.' +
           QStringLiteral("%1").arg(minor, 2, 10, QLatin1Char('0')) + Text(texts::kVersionDate);
}

int16_t BoardFromSetting(const QString& value) {
    return value == u"1" ? kBoardQLark : kBoardQLark2;
}

std::optional<int16_t> ConfigWordFromSetting(const QString& value) {
    if (value == Text(texts::kSettingAbsent)) return AppState::kDefaultConfigWord;
    return ParseSettingNumber(value);
}

bool StoreAtShutdown(const AppState& state, const QString& hexFileName) {
    bool stored = true;
    if (state.StartMode == startmode::kNormal) {
        stored &=
            WriteSetting(state, Text(texts::kSectionFile), Text(texts::kKeyName), hexFileName);
        stored &= WriteSetting(state, Text(texts::kSectionConfig), Text(texts::kKeyWord),
                               SettingNumber(state.ConfigWord));
    }
    stored &= WriteSetting(state, Text(texts::kSectionMode), Text(texts::kKeyQLark),
                           SettingNumber(state.BoardMode));
    return stored;
}

}  // namespace shellsettings
