// The settings file "qlarkw.ini", from start-up to shut-down and back.
//
// Input: the file's bytes; after the last NUL byte, if any, the HEX file
// name the user chose (UTF-8). The three settings are read as start-up
// reads them, stored as shut-down stores them with that name, and read
// again. Rules: every value stored reads back as it was stored (blanks
// around it aside; a name with a line break is not stored), and a
// configuration word the file held survives as the same number.
#include <QFile>

#include "FuzzSupport.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shell/SettingsFile.h"
#include "shell/ShellSettings.h"

namespace {

using fuzz::Require;
using texts::Text;

// What ReadSetting gives back for a stored value: the bytes without the
// blanks around them, at most 2599 of them.
QString AsRead(const QString& value) {
    return QString::fromUtf8(value.toUtf8().trimmed().left(2599));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray content = fuzz::Bytes(data, size);
    QString chosen = QStringLiteral("/home/user/robot/blink.hex");
    if (const qsizetype nul = content.lastIndexOf('\0'); nul >= 0) {
        chosen = QString::fromUtf8(content.mid(nul + 1));
        content.truncate(nul);
    }
    if (content.size() > inputfile::kMaxSettingsBytes / 2) return 0;

    AppState state;
    state.SettingsPath = fuzz::ScratchPath(QStringLiteral("qlarkw.ini"));
    {
        QFile file(state.SettingsPath);
        Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(content) == content.size(),
                "the settings file is made");
    }
    const QString name =
        shellsettings::ReadSetting(state, Text(texts::kSectionFile), Text(texts::kKeyName));
    const QString word =
        shellsettings::ReadSetting(state, Text(texts::kSectionConfig), Text(texts::kKeyWord));
    const QString mode =
        shellsettings::ReadSetting(state, Text(texts::kSectionMode), Text(texts::kKeyQLark));
    Require(name.toUtf8().size() <= 2599 && word.toUtf8().size() <= 2599,
            "a value read has at most 2599 bytes");
    state.BoardMode = shellsettings::BoardFromSetting(mode);
    if (const std::optional<int16_t> configWord = shellsettings::ConfigWordFromSetting(word)) {
        state.ConfigWord = *configWord;
        Require(ParseSettingNumber(SettingNumber(*configWord)) == *configWord,
                "a configuration word is stored as a number that reads back the same");
    }

    shellsettings::StoreAtShutdown(state, chosen);
    // A name with a line break cannot be kept: the one before stays.
    const bool keepable = !chosen.contains(u'\r') && !chosen.contains(u'\n');
    Require(shellsettings::ReadSetting(state, Text(texts::kSectionFile), Text(texts::kKeyName)) ==
                (keepable ? AsRead(chosen) : name),
            "the HEX file's name reads back as it was stored");
    Require(shellsettings::ConfigWordFromSetting(shellsettings::ReadSetting(
                state, Text(texts::kSectionConfig), Text(texts::kKeyWord))) == state.ConfigWord,
            "the configuration word reads back as it was stored");
    Require(shellsettings::BoardFromSetting(shellsettings::ReadSetting(
                state, Text(texts::kSectionMode), Text(texts::kKeyQLark))) == state.BoardMode,
            "the board reads back as it was stored");
    return 0;
}
