#include "shell/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "resources/Texts.h"

namespace {

constexpr qsizetype kMaxValueBytes = 2599;

QList<QByteArray> ReadLines(const QString& path, bool* exists) {
    QFile file(path);
    *exists = file.open(QIODevice::ReadOnly);
    if (!*exists) return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) line.chop(1);
    }
    return lines;
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
    bool exists = false;
    const QList<QByteArray> lines = ReadLines(path_, &exists);
    bool inSection = false;
    for (const QByteArray& line : lines) {
        if (const auto name = SectionName(line)) {
            inSection = Same(*name, section);
            continue;
        }
        if (!inSection || !Same(KeyOf(line), key)) continue;
        QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
        if (value.size() > kMaxValueBytes) value.truncate(kMaxValueBytes);
        return QString::fromLocal8Bit(value);
    }
    return texts::Text(texts::kSettingAbsent);
}

bool SettingsFile::WriteSetting(const QString& section, const QString& key,
                                const QString& value) const {
    bool exists = false;
    QList<QByteArray> lines = ReadLines(path_, &exists);
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
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    for (const QByteArray& line : lines) {
        file.write(line);
        file.write("\r\n");
    }
    return file.commit();
}

QString SettingsPathIn(const QString& directory) {
    return QDir(directory).filePath(texts::Text(texts::kSettingsFileName));
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
