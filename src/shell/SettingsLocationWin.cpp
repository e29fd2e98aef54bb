#include "shell/SettingsLocationWin.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <initguid.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <QDir>
#include <QFileInfo>
#include <QUuid>

namespace winsettings {

QString RoamingAppDataDir() {
    wchar_t* folder = nullptr;
    QString path;
    if (SUCCEEDED(
            ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &folder)))
        path = QDir::fromNativeSeparators(QString::fromWCharArray(folder));
    ::CoTaskMemFree(folder);
    // Without a profile (a service account), the environment's word.
    if (path.isEmpty()) path = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
    return path;
}

bool CanWrite(const QString& path) {
    const QFileInfo info(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (info.isDir()) {
        const QString probe = QDir(path).filePath(
            QStringLiteral(".qlarkw-%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128)));
        handle =
            ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(probe).utf16()),
                          GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    } else if (info.isFile()) {
        handle =
            ::CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                          GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(handle);
    return true;
}

}  // namespace winsettings
