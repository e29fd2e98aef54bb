#include "shell/frmAbout.h"

#include "ui_frmAbout.h"

#include <QIcon>

#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shell/FirmwareVersion.h"
#include "widgets/WindowStyle.h"

using texts::Text;

// The icons live in this static library's resources.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

frmAbout::frmAbout(Device& device, Host& host, AppState& state, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()) {
    InitIconResources();
    ui_->setupUi(this);
    windowstyle::MakeFixedDialog(*this);
    QIcon picture;
    picture.addFile(QStringLiteral(":/icons/writer.png"), QSize(32, 32));
    picture.addFile(QStringLiteral(":/icons/writer@2x.png"), QSize(64, 64));
    ui_->Picture1->setPixmap(picture.pixmap(QSize(32, 32), devicePixelRatioF()));
    ui_->Label1->setFont(windowstyle::FixedPitchFont(9));
    connect(ui_->Command1, &QPushButton::clicked, this, [this]() { accept(); });

    ui_->Label1->setText(windowstyle::ForDisplay(Text(texts::kAppTitle) + Text(texts::kCrLf) +
                                                 Text(texts::kVersionPrefix) + state.VersionText));
    // The notice, or the firmware version when the Writer answers.
    ui_->Label2->setText(AboutFirmwareLine(QueryFirmwareVersion(device, host, state)));
}

frmAbout::~frmAbout() = default;
