#include "config/frmConfReg.h"

#include "ui_frmConfReg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <algorithm>
#include <cstdint>
#include <limits>

#include "config/ConfRegJobs.h"
#include "shared/AppState.h"
#include "windowbase/ActivationWatch.h"
#include "windowbase/WindowStyle.h"

namespace {

// A coordinate as ConfRegLeft and ConfRegTop keep it: the nearest signed
// 16-bit value.
int16_t To16Bit(int value) {
    return static_cast<int16_t>(std::clamp<int>(value, std::numeric_limits<int16_t>::min(),
                                                std::numeric_limits<int16_t>::max()));
}

}  // namespace

frmConfReg::frmConfReg(Services services, QWidget* parent)
    : CentredDialog(parent), ui_(std::make_unique<Ui::frmConfReg>()), services_(services) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The frame's caption on its border line, the display inside it.
    setStyleSheet(windowstyle::CaptionOnBorderStyleSheet(2, 1));
    ui_->Label3->setFont(windowstyle::FixedPitchFont(9.75));
    connect(ui_->Command1, &QPushButton::clicked, this, [this]() { close(); });
    activationwatch::Watch();
}

frmConfReg::~frmConfReg() = default;

void frmConfReg::SetStatusText(const QString& text) {
    ui_->Label3->setText(windowstyle::ForDisplay(text));
}

void frmConfReg::PlaceWhenFirstShown() {
    // Where it was last closed in this run; (0, 0) is no position.
    const AppState& state = services_.state;
    if (state.ConfRegLeft != 0 || state.ConfRegTop != 0)
        move(state.ConfRegLeft, state.ConfRegTop);
    else
        CentredDialog::PlaceWhenFirstShown();
}

bool frmConfReg::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // Coming back from another application reads nothing; coming from
    // another window of the program (the main window's command among them)
    // reads the chip again.
    if (event->type() == QEvent::WindowActivate && activationwatch::FromOwnWindow(*this))
        ReadConfReg();
    return handled;
}

void frmConfReg::ReadConfReg() {
    if (reading_ || !isVisible()) return;
    reading_ = true;
    const ConfRegRead read = ReadConfRegComm(services_, *this);
    reading_ = false;
    if (read.outcome != JobOutcome::Done) close();
}

void frmConfReg::keyPressEvent(QKeyEvent* event) {
    // Esc on the Close button closes the window; other keys do nothing.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmConfReg::closeEvent(QCloseEvent* event) {
    AppState& state = services_.state;
    state.ConfRegLeft = To16Bit(x());
    state.ConfRegTop = To16Bit(y());
    event->accept();
    Q_EMIT unloaded();
}
