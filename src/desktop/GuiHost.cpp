#include "desktop/GuiHost.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "desktop/DesktopServices.h"
#include "resources/Texts.h"
#include "shared/Clock.h"
#include "windowbase/WindowStyle.h"

void GuiHost::Sleep(int ms) {
    clock_.SleepMs(ms);
}

void GuiHost::ProcessEvents() {
    QCoreApplication::processEvents();
}

std::unique_ptr<QMessageBox> GuiHost::MakeMessageBox(const QString& text, const QString& caption,
                                                     MsgIcon icon, MsgButtons buttons,
                                                     QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(caption);
    box->setText(windowstyle::ForDisplay(text));
    box->setTextFormat(Qt::PlainText);
    switch (icon) {
        case MsgIcon::None:
            box->setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Critical:
            box->setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box->setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Information:
            box->setIcon(QMessageBox::Information);
            break;
    }
    if (buttons == MsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
    }
    return box;
}

MsgAnswer GuiHost::MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                              MsgButtons buttons) {
    auto box = MakeMessageBox(text, caption, icon, buttons, QApplication::activeWindow());
    const int answer = box->exec();
    if (buttons == MsgButtons::YesNo)
        return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::Ok;
}

std::optional<QString> GuiHost::AskSaveFileName(const QString& proposedPath) {
    commonDialog_.FileName = proposedPath;
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(NameFilters(texts::Text(texts::kHexFileFilter)));
    dialog.setDefaultSuffix(QStringLiteral("hex"));
    dialog.selectFile(proposedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString chosen = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    commonDialog_.FileName = chosen;
    return chosen;
}

int ExecRunner::RunModal(QDialog& dialog) {
    return dialog.exec();
}
