#include "shell/SettingsFile.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "resources/Texts.h"
#include "shared/InputFile.h"
#include "shared/OutputFile.h"
#include "shell/Cp932.h"
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

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
// The line end of a new file, or of one that has no line end yet.
constexpr char kNewLineEnd[] = "\r\n";

// How the file's text is encoded. A byte order mark means UTF-8; without
// one, a file that is valid UTF-8 (plain ASCII too) is UTF-8, and any other
// is CP932, as a Japanese Windows system writes it.
enum class Encoding { Utf8, Utf8WithBom, Cp932 };

// The file as read: its lines without their ends, and what a rewrite keeps
// of it (the encoding, the byte order mark, the line end).
struct Contents {
    FileState state = FileState::Missing;
    QString why;  // why it was refused
    Encoding encoding = Encoding::Utf8;
    QByteArray lineEnd = kNewLineEnd;
    QList<QByteArray> lines;

    QString Decode(QByteArrayView bytes) const {
        return encoding == Encoding::Cp932 ? cp932::Decode(bytes) : QString::fromUtf8(bytes);
    }
    // Nothing when the file's encoding cannot hold `text`.
    std::optional<QByteArray> Encode(const QString& text) const {
        if (encoding == Encoding::Cp932) return cp932::Encode(text);
        return text.toUtf8();
    }
};

// The end of the file's first line: CR LF, LF or CR.
QByteArray FirstLineEnd(const QByteArray& text) {
    const qsizetype cr = text.indexOf('\r');
    const qsizetype lf = text.indexOf('\n');
    if (cr < 0 && lf < 0) return kNewLineEnd;
    if (cr < 0 || (lf >= 0 && lf < cr)) return "\n";
    return lf == cr + 1 ? "\r\n" : "\r";
}

Contents Load(const QString& path) {
    Contents contents;
    InputFile file(path, inputfile::kMaxSettingsBytes);
    if (!file.isOpen()) {
        contents.state =
            file.error() == inputfile::Error::Missing ? FileState::Missing : FileState::Refused;
        contents.why = file.errorString();
        return contents;
    }
    QByteArray text;
    char chunk[16 * 1024];
    for (;;) {
        const qint64 n = file.device().read(chunk, sizeof chunk);
        if (n == 0) break;
        // The file grew beyond its bound after it was looked at, or a read
        // failed.
        if (n < 0 || text.size() + n > file.maxBytes()) {
            contents.state = FileState::Refused;
            contents.why = n < 0 ? file.device().errorString()
                                 : QStringLiteral("larger than %1 bytes").arg(file.maxBytes());
            return contents;
        }
        text.append(chunk, n);
    }
    contents.state = FileState::Read;
    if (text.startsWith(kUtf8Bom)) {
        contents.encoding = Encoding::Utf8WithBom;
    } else if (!QByteArrayView(text).isValidUtf8()) {
        contents.encoding = Encoding::Cp932;
    }
    contents.lineEnd = FirstLineEnd(text);
    LineReader lines(text);  // skips the byte order mark
    QByteArray line;
    while (lines.Next(&line)) contents.lines.append(line);
    return contents;
}

// "[name]" -> name, or nothing when the line is not a section header.
std::optional<QString> SectionName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'[')) return std::nullopt;
    const qsizetype end = trimmed.indexOf(u']');
    if (end < 0) return std::nullopt;
    return trimmed.mid(1, end - 1).trimmed();
}

// The key of a "key=value" line, empty for other lines.
QString KeyOf(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0) return {};
    return line.left(eq).trimmed();
}

bool Same(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

QString SettingsFile::ReadSetting(const QString& section, const QString& key) const {
    const Contents file = Load(path_);
    bool inSection = false;
    for (const QByteArray& line : file.lines) {
        // Lines are looked at as text: a CP932 character's second byte may
        // be a ']'. An '=' or a blank never is, so the value is cut from
        // the bytes, in the file's own measure.
        const QString text = file.Decode(line);
        if (const auto name = SectionName(text)) {
            inSection = Same(*name, section);
            continue;
        }
        if (!inSection || !Same(KeyOf(text), key)) continue;
        QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (value.size() > kMaxValueBytes) value.truncate(kMaxValueBytes);
        return file.Decode(value);
    }
    return texts::Text(texts::kSettingAbsent);
}

QString SettingsFile::ReadProblem() const {
    const Contents file = Load(path_);
    return file.state == FileState::Refused ? file.why : QString();
}

bool SettingsFile::WriteSetting(const QString& section, const QString& key,
                                const QString& value) const {
    // A line break would end the line early and start another, a made-up
    // one: such a text cannot be kept in the file.
    for (const QString* text : {&section, &key, &value}) {
        if (text->contains(u'\r') || text->contains(u'\n')) return false;
    }
    Contents file = Load(path_);
    // A file that is there but cannot be read is not replaced by the one
    // line written now.
    if (file.state == FileState::Refused) return false;
    // Written in the file's own encoding; a text it cannot hold is not
    // written, rather than written as something else.
    const std::optional<QByteArray> sectionBytes = file.Encode(section);
    const std::optional<QByteArray> keyBytes = file.Encode(key);
    const std::optional<QByteArray> valueBytes = file.Encode(value);
    if (!sectionBytes || !keyBytes || !valueBytes) return false;
    const QByteArray entry = *keyBytes + '=' + *valueBytes;

    QList<QByteArray>& lines = file.lines;
    qsizetype sectionStart = -1;  // index of the header line
    qsizetype insertAt = -1;      // after the section's last non-blank line
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        const QString text = file.Decode(lines[i]);
        if (const auto name = SectionName(text)) {
            if (sectionStart >= 0) break;  // the section ended
            if (Same(*name, section)) {
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionStart < 0) continue;
        if (Same(KeyOf(text), key)) {
            lines[i] = entry;
            replaced = true;
        } else if (!text.trimmed().isEmpty()) {
            insertAt = i + 1;
        }
    }
    if (!replaced) {
        if (sectionStart >= 0) {
            lines.insert(insertAt, entry);
        } else {
            lines.append('[' + *sectionBytes + ']');
            lines.append(entry);
        }
    }
    QByteArray content = file.encoding == Encoding::Utf8WithBom ? kUtf8Bom : "";
    for (const QByteArray& line : lines) content += line + file.lineEnd;
    // The user's configuration folder may not exist yet.
    const QString folder = QFileInfo(path_).absolutePath();
    if (file.state == FileState::Missing && !QDir(folder).exists() && !QDir().mkpath(folder))
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
