#include "desktop/DesktopServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <QWidget>

#include "resources/Texts.h"
#include "shared/FileExists.h"

#ifdef Q_OS_WIN
#include <windows.h>
#include <QProcess>
#endif

std::optional<QString> SystemDesktop::AskOpenFileName(QWidget* parent,
                                                      const QString& currentFileName) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFilters(texts::Text(texts::kHexFileFilter)));
    if (!currentFileName.isEmpty()) dialog.selectFile(currentFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

bool SystemDesktop::OpenHelpFile(QWidget* parent, const QString& path) {
#ifdef Q_OS_WIN
    // The help finder of the help file; whether the file is there is the
    // help viewer's business.
    constexpr UINT kHelpFinder = 11;
    WinHelpA(parent ? reinterpret_cast<HWND>(parent->winId()) : nullptr,
             path.toLocal8Bit().constData(), kHelpFinder, 0);
    return true;
#else
    Q_UNUSED(parent);
    if (!FileExists(path)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

bool SystemDesktop::OpenInTextEditor(const QString& path) {
#ifdef Q_OS_WIN
    // "notepad.exe " and the path, unquoted, as the command line.
    QProcess process;
    process.setProgram(QStringLiteral("notepad.exe"));
    process.setNativeArguments(path);
    return process.startDetached();
#else
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}

bool SystemDesktop::OpenManual(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
