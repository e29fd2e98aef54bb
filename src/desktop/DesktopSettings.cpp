#include "desktop/DesktopSettings.h"

#include "resources/Texts.h"
#include "shell/ShellSettings.h"

using texts::Text;

namespace desktopsettings {
namespace {

bool ReadFlag(const AppState& state, const char* key) {
    return shellsettings::ReadSetting(state, Text(texts::kSectionDesktop), Text(key)) == u"1";
}

void StoreFlag(const AppState& state, const char* key, bool on) {
    shellsettings::WriteSetting(state, Text(texts::kSectionDesktop), Text(key),
                                on ? QStringLiteral("1") : QStringLiteral("0"));
}

QString RecentKey(int index) {
    return Text(texts::kKeyRecentPrefix) + QString::number(index + 1);
}

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

}  // namespace

Options ReadOptions(const AppState& state) {
    return Options{ReadFlag(state, texts::kKeyVerify), ReadFlag(state, texts::kKeyHexEeprom)};
}

void StoreVerifyAfterWrite(const AppState& state, bool on) {
    StoreFlag(state, texts::kKeyVerify, on);
}

void StoreWriteHexEeprom(const AppState& state, bool on) {
    StoreFlag(state, texts::kKeyHexEeprom, on);
}

QStringList ReadRecentFiles(const AppState& state) {
    QStringList files;
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        const QString path =
            shellsettings::ReadSetting(state, Text(texts::kSectionDesktop), RecentKey(i));
        if (!path.isEmpty() && path != Text(texts::kSettingAbsent) &&
            !files.contains(path, kPathCase))
            files << path;
    }
    return files;
}

void StoreRecentFiles(const AppState& state, const QStringList& files) {
    for (int i = 0; i < kMaxRecentFiles; ++i) {
        shellsettings::WriteSetting(state, Text(texts::kSectionDesktop), RecentKey(i),
                                    i < files.size() ? files[i] : QString());
    }
}

QStringList WithRecent(QStringList files, const QString& path) {
    files.removeIf([&](const QString& f) { return f.compare(path, kPathCase) == 0; });
    files.prepend(path);
    while (files.size() > kMaxRecentFiles) files.removeLast();
    return files;
}

}  // namespace desktopsettings
