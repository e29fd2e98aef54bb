#include "desktop/frmAbout.h"

#include "ui_frmAbout.h"

#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shell/FirmwareVersion.h"
#include "windowbase/WindowStyle.h"

using texts::Text;

frmAbout::frmAbout(Device& device, Host& host, AppState& state, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()) {
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    ui_->Picture1->setPixmap(windowstyle::Icon32(QStringLiteral("writer"), devicePixelRatioF()));
    ui_->Label1->setFont(windowstyle::FixedPitchFont(9));
    connect(ui_->Command1, &QPushButton::clicked, this, [this]() { accept(); });

    ui_->Label1->setText(windowstyle::ForDisplay(Text(texts::kAppTitle) + Text(texts::kCrLf) +
                                                 Text(texts::kVersionPrefix) + state.VersionText));
    // The notice, or the firmware version when the Writer answers.
    ui_->Label2->setText(AboutFirmwareLine(QueryFirmwareVersion(device, host, state)));
}

frmAbout::~frmAbout() = default;
