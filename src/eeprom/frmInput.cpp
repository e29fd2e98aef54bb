#include "eeprom/frmInput.h"

#include "ui_frmInput.h"

#include <QKeyEvent>

#include "eeprom/EepromJobs.h"
#include "link/protocol/MemoryMap.h"
#include "link/protocol/Protocol.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/ClockTimer.h"
#include "shared/Host.h"
#include "windowbase/WindowStyle.h"

using texts::Text;

namespace {

// Timer1's interval when it is not timing the pause after a write.
constexpr int kTimer1IdleMs = 1000;
// While the pause runs, window events are let through this often.
constexpr int kEventRoundMs = 10;

}  // namespace

frmInput::frmInput(Services services, int row, int column, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmInput>()), services_(services) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    Timer1_ = new ClockTimer(services_.clock, this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(kTimer1IdleMs);
    connect(Timer1_, &ClockTimer::timeout, this, [this]() {
        WriteWaiting_ = false;
        Timer1_->stop();
        Timer1_->setInterval(kTimer1IdleMs);
    });
    connect(ui_->cmdWrite, &QPushButton::clicked, this, [this]() { cmdWrite_Click(); });
    connect(ui_->cmdClose, &QPushButton::clicked, this, [this]() { reject(); });
    ui_->Data1->installEventFilter(this);

    services_.state.EepromWritten = false;
    ui_->Data1->setText(services_.state.EepromCellText);
    address_ = (row - 1) * memorymap::kEepromTableColumns + (column - 1);
    loaded_ = address_ >= 0 && address_ < memorymap::kEepromBytes;
    if (!loaded_) return;  // no data cell: nothing to edit
    ui_->Label1->setText(EepromAddressText(address_));
    ui_->Label3->setText(QString());
    ui_->Data1->selectAll();
    ui_->Data1->setFocus();
}

frmInput::~frmInput() = default;

bool frmInput::eventFilter(QObject* watched, QEvent* event) {
    // Enter in the box only moves on to Write; nothing is written yet.
    if (watched == ui_->Data1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui_->cmdWrite->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmInput::SetWriting(bool writing) {
    ui_->cmdWrite->setEnabled(!writing);
    ui_->cmdClose->setEnabled(!writing);
    ui_->Label3->setText(writing ? Text(texts::kWriting) : QString());
}

void frmInput::cmdWrite_Click() {
    busy_ = true;
    SetWriting(true);
    Host& host = services_.host;
    // Every check that fails says so, in order; then nothing is sent.
    const ByteInput input = CheckByteInput(ui_->Data1->text());
    for (const QString& failure : input.failures)
        host.MessageBox(failure, Text(texts::kAppTitle), MsgIcon::None);
    if (!input.value) {
        SetWriting(false);
        busy_ = false;
        return;
    }
    JobEnv env{services_.device, host, services_.state};
    const JobOutcome outcome = WriteEepromByte(env, address_, *input.value);
    if (outcome == JobOutcome::NotOpened || outcome == JobOutcome::LinkFailure) {
        // The Writer was not reached: the editor stays, for another try.
        SetWriting(false);
        busy_ = false;
        return;
    }
    // Written, or the exchange failed and its message has been shown: the
    // editor closes, after the pause when the byte was written. Label3
    // keeps "書込み中" until then.
    if (outcome == JobOutcome::Done) WaitAfterWrite();
    ui_->cmdWrite->setEnabled(true);
    ui_->cmdClose->setEnabled(true);
    busy_ = false;
    accept();
}

void frmInput::WaitAfterWrite() {
    WriteWaiting_ = true;
    Timer1_->setInterval(pauses::kEepromByteWrittenMs);
    Timer1_->start();
    while (WriteWaiting_) {
        services_.host.ProcessEvents();
        Timer1_->Poll();
        if (WriteWaiting_) services_.clock.SleepMs(kEventRoundMs);
    }
}

void frmInput::done(int result) {
    // While a write or the pause after it runs, window events get through
    // (Esc, the close box): the editor closes only when the write is over.
    if (busy_) return;
    QDialog::done(result);
}
