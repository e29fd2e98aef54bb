#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

// The user manual (docs/manual) is the program's help: every text the
// program shows in a message is explained in its troubleshooting section,
// and every picture and page it links to is there.

namespace {

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The texts of the program as its texts header spells them: name and
// value, adjacent string literals joined.
QMap<QString, QString> ProgramTexts() {
    const QString header = Read(QStringLiteral(QLARKW_TEXTS_HEADER));
    static const QRegularExpression constant(
        QStringLiteral(R"re(inline constexpr char (k\w+)\[\] =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);)re"));
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QMap<QString, QString> texts;
    for (auto m = constant.globalMatch(header); m.hasNext();) {
        const QRegularExpressionMatch c = m.next();
        QString value;
        for (auto l = literal.globalMatch(c.captured(2)); l.hasNext();)
            value += l.next().captured(1);
        texts.insert(c.captured(1), value);
    }
    return texts;
}

// Texts that are no message: captions of controls, progress and status
// lines, questions of the dialogs, names in files.
const QSet<QString> kNotMessages = {
    "kCrLf",
    "kAppTitle",
    "kSettingsFileName",
    "kSettingAbsent",
    "kSectionFile",
    "kKeyName",
    "kSectionConfig",
    "kKeyWord",
    "kSectionMode",
    "kKeyQLark",
    "kSectionDesktop",
    "kKeyVerify",
    "kKeyHexEeprom",
    "kKeyRecentPrefix",
    "kVersionDate",
    "kHexFileFilter",
    "kHelpFileName",
    "kManualFolder",
    "kManualPage",
    "kModeWrite",
    "kModeRead",
    "kModeErase",
    "kAskWrite",
    "kAskRead",
    "kAskErase",
    "kTitleForQLark",
    "kTitleForQLark2",
    "kCheckingWriter",
    "kVersionPrefix",
    "kForT5813Only",
    "kFirmwarePrefix",
    "kEepromUnread",
    "kTalkingToBoard",
    "kWriting",
    "kWritingAddressPrefix",
    "kAddressPrefix",
    "kWritingSuffix",
    "kReceivingSuffix",
    "kWritingFile",
    "kDefaultReadFile",
    "kVerifying",
    "kWritingHexEeprom",
    "kConfRegOscillator",
    "kConfRegWatchdog",
    "kConfRegPowerUp",
    "kConfRegProtect",
    "kOn",
    "kOff",
    "kSummaryGood",
    "kSummaryNoConfig",
};

// The text between the element with id="troubleshooting" and the end of
// its section, tags dropped and entities of the manual undone.
QString Troubleshooting(const QString& page) {
    const qsizetype start = page.indexOf(QStringLiteral("id=\"troubleshooting\""));
    if (start < 0) return {};
    const qsizetype end = page.indexOf(QStringLiteral("</section>"), start);
    QString text = page.mid(start, end < 0 ? -1 : end - start);
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

TEST(Manual, ExplainsEveryMessageInItsTroubleshootingSection) {
    const QString page = Read(QStringLiteral(QLARKW_MANUAL_DIR "/index.html"));
    ASSERT_FALSE(page.isEmpty());
    const QString troubleshooting = Troubleshooting(page);
    ASSERT_FALSE(troubleshooting.isEmpty());
    const QMap<QString, QString> texts = ProgramTexts();
    ASSERT_GT(texts.size(), 100);  // the header was read
    int checked = 0;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        if (kNotMessages.contains(it.key())) continue;
        // A text with a number put in (%1) is looked for in its pieces.
        for (const QString& piece :
             it.value().split(QRegularExpression(QStringLiteral("%\\d")), Qt::SkipEmptyParts)) {
            EXPECT_TRUE(troubleshooting.contains(piece.trimmed()))
                << it.key().toStdString() << ": " << piece.toStdString();
        }
        ++checked;
    }
    EXPECT_GT(checked, 50);
    // The section the permission message names is there by that name.
    const QString hint = texts.value(QStringLiteral("kNoPermissionManual"));
    const QString section =
        hint.mid(hint.indexOf(u'「') + 1, hint.indexOf(u'」') - hint.indexOf(u'「') - 1);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("<h[23][^>]*>") + QRegularExpression::escape(section))
            .match(page)
            .hasMatch())
        << section.toStdString();
}

TEST(Manual, EveryPictureAndPageItNamesIsThere) {
    const QDir dir(QStringLiteral(QLARKW_MANUAL_DIR));
    const QString page = Read(dir.filePath(QStringLiteral("index.html")));
    static const QRegularExpression reference(
        QStringLiteral(R"re((?:src|href)="([^"#:]+)(?:#[^"]*)?")re"));
    int pictures = 0;
    for (auto m = reference.globalMatch(page); m.hasNext();) {
        const QString target = m.next().captured(1);
        EXPECT_TRUE(QFileInfo(dir.filePath(target)).isFile()) << target.toStdString();
        pictures += target.endsWith(QStringLiteral(".png"));
    }
    EXPECT_GE(pictures, 10);
    // Anchors the page links to within itself exist.
    static const QRegularExpression anchor(QStringLiteral(R"re(href="#([^"]+)")re"));
    for (auto m = anchor.globalMatch(page); m.hasNext();) {
        const QString id = m.next().captured(1);
        EXPECT_TRUE(page.contains(QStringLiteral("id=\"%1\"").arg(id))) << id.toStdString();
    }
}

}  // namespace
