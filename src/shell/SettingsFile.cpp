#include "shell/SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "resources/Texts.h"
#include "shared/InputFile.h"
#include "shared/OutputFile.h"
#ifdef Q_OS_WIN
#include "shell/SettingsLocationWin.h"
#endif

namespace {

constexpr qsizetype kMaxValueBytes = 2599;

// The folder of the user's configuration location that holds the settings.
constexpr char kConfigFolderName[] = "qlarkw";

// An installed program's folder: a new settings file is never made there.
constexpr char kInstalledProgramFolder[] = "bin";

// How the file stands when it is to be read.
enum class FileState {
    Read,     // read to its end
    Missing,  // not there: every value is absent, and a write makes it
    Refused,  // there, but not a file that can be read (a device, a pipe,
              // too large, no permission): absent values, and never written
};

// Calls `onLine` for each line of the file.
template <typename OnLine>
FileState ForEachLine(const QString& path, OnLine onLine) {
    InputFile file(path, inputfile::kMaxSettingsBytes);
    if (!file.isOpen())
        return file.error() == inputfile::Error::Missing ? FileState::Missing : FileState::Refused;
    LineReader lines(file);
    QByteArray line;
    while (lines.Next(&line)) {
        if (!onLine(line)) return FileState::Read;
    }
    return lines.failed() ? FileState::Refused : FileState::Read;
}

// "[name]" -> name, or nothing when the line is not a section header.
std::optional<QString> SectionName(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('[')) return std::nullopt;
    const qsizetype end = trimmed.indexOf(']');
    if (end < 0) return std::nullopt;
    return QString::fromLocal8Bit(trimmed.mid(1, end - 1)).trimmed();
}

// The key of a "key=value" line, empty for other lines.
QString KeyOf(const QByteArray& line) {
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0) return {};
    return QString::fromLocal8Bit(line.left(eq)).trimmed();
}

bool Same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString SettingsFile::ReadSetting(const QString& section, const QString& key) const {
    bool inSection = false;
    std::optional<QString> found;
    ForEachLine(path_, [&](const QByteArray& line) {
        if (const auto name = SectionName(line)) {
            inSection = Same(*name, section);
            return true;
        }
        if (!inSection || !Same(KeyOf(line), key)) return true;
        QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (value.size() > kMaxValueBytes) value.truncate(kMaxValueBytes);
        found = QString::fromLocal8Bit(value);
        return false;
    });
    return found ? *found : texts::Text(texts::kSettingAbsent);
}

bool SettingsFile::WriteSetting(const QString& section, const QString& key,
                                const QString& value) const {
    // A line break would end the line early and start another, a made-up
    // one: such a text cannot be kept in the file.
    for (const QString* text : {&section, &key, &value}) {
        if (text->contains(u'\r') || text->contains(u'\n')) return false;
    }
    QList<QByteArray> lines;
    const FileState state = ForEachLine(path_, [&lines](const QByteArray& line) {
        lines.append(line);
        return true;
    });
    // A file that is there but cannot be read is not replaced by the one
    // line written now.
    if (state == FileState::Refused) return false;
    const QByteArray entry = key.toLocal8Bit() + '=' + value.toLocal8Bit();

    qsizetype sectionStart = -1;  // index of the header line
    qsizetype insertAt = -1;      // after the section's last non-blank line
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        if (const auto name = SectionName(lines[i])) {
            if (sectionStart >= 0) break;  // the section ended
            if (Same(*name, section)) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionStart < 0) continue;
        if (Same(KeyOf(lines[i]), key)) {
            lines[i] = entry;
            replaced = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!replaced) {
        if (sectionStart >= 0) {
            lines.insert(insertAt, entry);
        } else {
            lines.append('[' + section.toLocal8Bit() + ']');
            lines.append(entry);
        }
    }
    QByteArray content;
    for (const QByteArray& line : lines) content += line + "\r\n";
    // The user's configuration folder may not exist yet.
    const QString folder = QFileInfo(path_).absolutePath();
    if (state == FileState::Missing && !QDir(folder).exists() && !QDir().mkpath(folder))
        return false;
    return outputfile::Save(path_, content) == outputfile::Error::None;
}

QString SettingsPathIn(const QString& directory) {
    return QDir(directory).filePath(texts::Text(texts::kSettingsFileName));
}

bool IsWritable(const QString& path) {
#ifdef Q_OS_WIN
    return winsettings::CanWrite(path);
#else
    return QFileInfo(path).isWritable();
#endif
}

QString SettingsPathFor(const QString& programDir, const QString& configDir,
                        const WritableCheck& isWritable) {
    const QString beside = SettingsPathIn(programDir);
    const bool folderWritable = isWritable(programDir);
    if (QFileInfo::exists(beside)) {
        if (folderWritable && isWritable(beside)) return beside;
    } else if (folderWritable &&
               QDir(programDir).dirName() != QLatin1String(kInstalledProgramFolder)) {
        return beside;
    }
    return SettingsPathIn(configDir);
}

QString UserSettingsDir() {
#ifdef Q_OS_WIN
    return QDir(winsettings::RoamingAppDataDir()).filePath(QLatin1String(kConfigFolderName));
#else
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QLatin1String(kConfigFolderName));
#endif
}

QString SettingNumber(int value) {
    return value < 0 ? QString::number(value) : QStringLiteral(" ") + QString::number(value);
}

std::optional<int16_t> ParseSettingNumber(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < -32768 || value > 32767) return std::nullopt;
    return static_cast<int16_t>(value);
}
