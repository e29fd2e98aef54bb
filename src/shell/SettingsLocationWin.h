#pragma once

#include <QString>

// Where the settings file may live on Windows (SettingsFile.h: IsWritable,
// UserSettingsDir).
namespace winsettings {

// The user's roaming application data folder (%APPDATA%,
// "C:\Users\NAME\AppData\Roaming").
QString RoamingAppDataDir();

// Whether this process may write the file, or make a file in the folder,
// at `path`, asked of the system by trying: Qt's own check reads neither
// the folder's access rights nor what User Account Control allows (a
// program in "C:\Program Files" may not write beside itself). Nothing is
// changed: the file is opened for writing and closed, the folder gets a
// file that is gone when it is closed.
bool CanWrite(const QString& path);

}  // namespace winsettings
