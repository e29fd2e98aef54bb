#include "eeprom/frmEEPROMwrite.h"

#include "ui_frmEEPROMwrite.h"

#include <QCloseEvent>
#include <QKeyEvent>

#include "eeprom/EepromJobs.h"
#include "shared/AppState.h"
#include "windowbase/WindowStyle.h"

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
    WriteEepromFile(services_, services_.state.StartArgument, *this);
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
