// The settings file "qlarkw.ini", from start-up to shut-down and back.
//
// Input: the file's bytes; after the last NUL byte, if any, the HEX file
// name the user chose (UTF-8). The three settings are read as start-up
// reads them, stored as shut-down stores them with that name, and read
// again. Rules: every value stored reads back as it was stored (blanks
// around it aside; a name with a line break, or one a CP932 file cannot
// hold, is not stored), and a configuration word the file held survives as
// the same number.
#include <QByteArrayView>
#include <QFile>

#include "FuzzSupport.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shell/Cp932.h"
#include "shell/SettingsFile.h"
#include "shell/ShellSettings.h"

namespace {

using fuzz::Require;
using texts::Text;

// A file without a byte order mark that is not valid UTF-8 is CP932.
bool IsCp932(const QByteArray& file) {
    return !file.startsWith("\xEF\xBB\xBF") && !QByteArrayView(file).isValidUtf8();
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What ReadSetting gives back for a stored value: its bytes in the file's
// encoding without the blanks around them, at most 2599 of them; nothing
// when the encoding cannot hold it.
std::optional<QString> AsRead(const QString& value, bool cp932) {
    const std::optional<QByteArray> bytes = cp932 ? cp932::Encode(value) : value.toUtf8();
    if (!bytes) return std::nullopt;
    const QByteArray kept = bytes->trimmed().left(2599);
    return cp932 ? cp932::Decode(kept) : QString::fromUtf8(kept);
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
    // A name with a line break, or one the file's encoding cannot hold,
    // cannot be kept: the one before stays. A CP932 file whose last bytes
    // that are not UTF-8 were replaced reads as UTF-8 from then on, its
    // names too.
    const bool cp932 = IsCp932(content);
    const std::optional<QString> stored =
        chosen.contains(u'\r') || chosen.contains(u'\n') ? std::nullopt : AsRead(chosen, cp932);
    if (IsCp932(FileBytes(state.SettingsPath)) == cp932) {
        Require(shellsettings::ReadSetting(state, Text(texts::kSectionFile),
                                           Text(texts::kKeyName)) == stored.value_or(name),
                "the HEX file's name reads back as it was stored");
    }
    Require(shellsettings::ConfigWordFromSetting(shellsettings::ReadSetting(
                state, Text(texts::kSectionConfig), Text(texts::kKeyWord))) == state.ConfigWord,
            "the configuration word reads back as it was stored");
    Require(shellsettings::BoardFromSetting(shellsettings::ReadSetting(
                state, Text(texts::kSectionMode), Text(texts::kKeyQLark))) == state.BoardMode,
            "the board reads back as it was stored");
    return 0;
}
