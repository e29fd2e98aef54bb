#include "eeprom/frmEEPROMwrite.h"

#include "ui_frmEEPROMwrite.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "eeprom/EepromJobs.h"
#include "shared/AppState.h"
#include "shared/FileExists.h"
#include "windowbase/WindowStyle.h"

namespace {

// The data file of "/F name": the command line keeps the blanks after
// "/F", so "/F data.txt" names " data.txt". The name as given comes first;
// when no file has it, the name without its leading blanks.
QString DataFileOf(const QString& argument) {
    if (FileExists(argument)) return argument;
    qsizetype blanks = 0;
    while (blanks < argument.size() && argument[blanks] == u' ') ++blanks;
    const QString trimmed = argument.mid(blanks);
    return blanks > 0 && FileExists(trimmed) ? trimmed : argument;
}

}  // namespace

frmEEPROMwrite::frmEEPROMwrite(Services services, QWidget* mainWindow)
    : CentredDialog(nullptr),
      ui_(std::make_unique<Ui::frmEEPROMwrite>()),
      services_(services),
      mainWindow_(mainWindow) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    connect(ui_->Command1, &QPushButton::clicked, this, [this]() { Command1_Click(); });
    if (mainWindow_) mainWindow_->hide();
}

frmEEPROMwrite::~frmEEPROMwrite() = default;

void frmEEPROMwrite::SetStatusText(const QString& text) {
    ui_->Label1->setText(text);
}

void frmEEPROMwrite::Command1_Click() {
    ui_->Command1->setEnabled(false);
    busy_ = true;
    WriteEepromFile(services_, DataFileOf(services_.state.StartArgument), *this);
    busy_ = false;
    close();
}

void frmEEPROMwrite::keyPressEvent(QKeyEvent* event) {
    // The form has no Cancel button: Esc does nothing (a dialog would only
    // hide, and the program would go on without a window).
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmEEPROMwrite::closeEvent(QCloseEvent* event) {
    // The transfer lets window events through between its bytes; a close
    // then would leave the EEPROM half written.
    if (busy_) {
        event->ignore();
        return;
    }
    event->accept();
    if (mainWindow_) mainWindow_->close();
}
