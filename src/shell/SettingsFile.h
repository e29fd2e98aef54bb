#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The settings file "qlarkw.ini": a private-profile text file in the local
// 8-bit encoding. "[Section]" lines start sections, "key=value" lines hold
// values. Sections and keys are found regardless of letter case, blanks
// around values are trimmed, and nothing is ever deleted from the file.
class SettingsFile {
  public:
    explicit SettingsFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The value, or "???" when the file, the section or the key is missing.
    // Values are cut to 2599 bytes, as the profile buffer holds.
    QString ReadSetting(const QString& section, const QString& key) const;

    // Sets the value, creating the file, the section or the key as needed
    // and keeping everything else. The file is replaced atomically: a
    // failure leaves the old file as it was. Returns false on failure.
    bool WriteSetting(const QString& section, const QString& key, const QString& value) const;

  private:
    QString path_;
};

// The settings file beside the program: `directory` + "/qlarkw.ini".
QString SettingsPathIn(const QString& directory);

// Numbers as the settings file stores them: " 26", " 1", "-3".
QString SettingNumber(int value);

// " 26" -> 26; nothing when the text is not a decimal number that fits a
// signed 16-bit integer.
std::optional<int16_t> ParseSettingNumber(const QString& text);
