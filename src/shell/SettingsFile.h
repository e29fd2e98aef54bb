#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// The settings file "qlarkw.ini": a private-profile text file.
// "[Section]" lines start sections, "key=value" lines hold values. Sections
// and keys are found regardless of letter case, blanks around values are
// trimmed, and nothing is ever deleted from the file.
//
// The file is read as UTF-8 when it starts with a byte order mark or is
// valid UTF-8, else as CP932 (a file written on a Japanese Windows system).
// A rewrite keeps that encoding, the byte order mark and the line ends (CR
// LF, LF or CR, as its first line ends); a new file is UTF-8 with CR LF.
class SettingsFile {
  public:
    explicit SettingsFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The value, or "???" when the file, the section or the key is missing.
    // Values are cut to 2599 bytes, as the profile buffer holds.
    QString ReadSetting(const QString& section, const QString& key) const;

    // Why the file is there but is not read (a folder, a device, a pipe, a
    // file above its size bound, no permission), in words; an empty text
    // when it is read or is not there. A file that is not read gives every
    // value as absent and is never written.
    QString ReadProblem() const;

    // Sets the value, creating the file (and its folder), the section or
    // the key as needed and keeping everything else byte for byte. The file
    // is replaced atomically: a failure leaves the old file as it was.
    // Returns false on failure, for a file that is not read (ReadProblem),
    // for a section, key or value with a line break, which the file cannot
    // hold (a file name may have one), and for a text a CP932 file cannot
    // hold (the file is not turned into another encoding behind the user's
    // back).
    bool WriteSetting(const QString& section, const QString& key, const QString& value) const;

  private:
    QString path_;
};

// The settings file beside the program: `directory` + "/qlarkw.ini".
QString SettingsPathIn(const QString& directory);

// Whether a file or folder can be written by this process (on Windows asked
// of the system by trying, SettingsLocationWin.h).
using WritableCheck = std::function<bool(const QString& path)>;
bool IsWritable(const QString& path);

// Where a program in `programDir` keeps its settings file, one rule for the
// desktop program and qlarkw-cli:
//  1. beside the program when "qlarkw.ini" is there and the file and its
//     folder can be written (a portable copy, e.g. on a USB stick);
//  2. beside the program when the file is not there yet and the folder can
//     be written, unless the folder is named "bin" (a copy run from its
//     build folder; the file is made at the first write);
//  3. otherwise "qlarkw.ini" in `configDir`, the user's configuration
//     folder: an installed program (/usr/bin, /usr/local/bin, ~/.local/bin,
//     even when root could write there) or a read-only folder, which is
//     never written.
// `isWritable` is the check of rules 1 and 2; tests pass their own.
QString SettingsPathFor(const QString& programDir, const QString& configDir,
                        const WritableCheck& isWritable = IsWritable);

// The user's configuration folder for the settings, the same for every
// program: "qlarkw" in Qt's generic configuration location, which is the
// desktop program's AppConfigLocation (application "qlarkw", no
// organization): ~/.config/qlarkw on Linux ($XDG_CONFIG_HOME/qlarkw when
// set); on Windows "qlarkw" in the roaming application data folder
// (%APPDATA%\qlarkw). SettingsFile::WriteSetting makes it when it is missing.
QString UserSettingsDir();

// Numbers as the settings file stores them: " 26", " 1", "-3".
QString SettingNumber(int value);

// " 26" -> 26; nothing when the text is not a decimal number that fits a
// signed 16-bit integer.
std::optional<int16_t> ParseSettingNumber(const QString& text);
