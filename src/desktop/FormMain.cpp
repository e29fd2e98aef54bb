#include "desktop/FormMain.h"

#include "ui_FormMain.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <cstdio>
#include <exception>

#include "config/frmConfReg.h"
#include "desktop/DesktopServices.h"
#include "desktop/DesktopSettings.h"
#include "desktop/FileSummary.h"
#include "desktop/ShellContext.h"
#include "desktop/frmAbout.h"
#include "eeprom/frmEEPROMwrite.h"
#include "eeprom/frmEPROM.h"
#include "program/frmReadWrite.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/ClockTimer.h"
#include "shared/FileExists.h"
#include "shared/Host.h"
#include "shell/CommandLine.h"
#include "shell/InstanceLock.h"
#include "shell/SettingsFile.h"
#include "shell/ShellSettings.h"
#include "version/ProgramVersion.h"
#include "windowbase/ModalRunner.h"
#include "windowbase/WindowStyle.h"

using texts::Text;

namespace {

// The start-up check's time-out: a Writer that is plugged in but never
// answers lets start-up go on after this long.
constexpr int kStartupWaitMs = 15000;

// The single local file of a drop, or nothing when the drop is anything else.
std::optional<QString> SingleDroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    return QDir::toNativeSeparators(urls.front().toLocalFile());
}

// A non-modal window shown, or brought to the front when it is open.
void ShowInFront(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

// The operation dialog as the start-up check's notice, with Timer1.
class FormMain::CheckView final : public StartupCheckView {
  public:
    explicit CheckView(FormMain& form) : form_(form) {}

    void PrepareCheck(const QString& text) override {
        ShellContext& c = form_.context_;
        dialog_ = std::make_unique<frmReadWrite>(
            frmReadWrite::Services{c.device, c.host, c.state, c.runner}, &form_);
        dialog_->PrepareCheck(text);
    }
    void ShowCheck() override {
        if (dialog_) dialog_->show();
    }
    void UnloadCheck() override {
        if (!dialog_) return;
        abandoned_ = dialog_->EndProgramRequested();
        dialog_->close();
        dialog_.reset();
    }
    void StartTimer() override { form_.Timer1_->start(); }
    void TickTimer() override { form_.Timer1_->Poll(); }
    void StopTimer() override { form_.Timer1_->stop(); }
    bool Abandoned() const override {
        return abandoned_ || (dialog_ && dialog_->EndProgramRequested());
    }

  private:
    FormMain& form_;
    std::unique_ptr<frmReadWrite> dialog_;
    bool abandoned_ = false;
};

FormMain::FormMain(ShellContext& context)
    : ui_(std::make_unique<Ui::FormMain>()), context_(context) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui_->munSep0->setSeparator(true);
    ui_->munSep1->setSeparator(true);
    ui_->Image1->setPixmap(windowstyle::Icon32(QStringLiteral("board1"), devicePixelRatioF()));
    ui_->Image2->setPixmap(windowstyle::Icon32(QStringLiteral("board2"), devicePixelRatioF()));
    setWindowIcon(windowstyle::ResourceIcon(QStringLiteral("writer")));

    Timer1_ = new ClockTimer(context_.clock, this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(kStartupWaitMs);
    connect(Timer1_, &ClockTimer::timeout, this, [this]() {
        Timer1_->stop();
        context_.state.StartupWaitActive = false;
    });

    auto both = [this](QPushButton* button, QAction* action, void (FormMain::*command)()) {
        if (button)
            connect(button, &QPushButton::clicked, this, [this, command]() { (this->*command)(); });
        if (action)
            connect(action, &QAction::triggered, this, [this, command]() { (this->*command)(); });
    };
    both(ui_->FileNameRef, ui_->menu_file_ref, &FormMain::Browse);
    both(nullptr, ui_->menu_file_notepad, &FormMain::OpenInTextEditor);
    both(ui_->WriteCommand, ui_->menu_memory_w, &FormMain::StartWrite);
    both(ui_->ReadCommand, ui_->menu_memory_r, &FormMain::StartRead);
    both(ui_->EraseCommand, ui_->menu_memory_e, &FormMain::StartErase);
    both(ui_->EPROMCommand1, ui_->menu_memory_m, &FormMain::OpenEepromViewer);
    both(ui_->ConfigCommand, ui_->menu_memory_c, &FormMain::OpenConfigRegisterWindow);
    both(nullptr, ui_->munHelpFile, &FormMain::OpenHelp);
    both(nullptr, ui_->menu_help_ver, &FormMain::ShowAbout);
    connect(ui_->ExitCommand, &QPushButton::clicked, this, [this]() { close(); });
    connect(ui_->menu_file_unload, &QAction::triggered, this, [this]() { close(); });
    connect(ui_->munQLARK, &QAction::triggered, this, [this]() { SelectBoard(1); });
    connect(ui_->munQLARK2, &QAction::triggered, this, [this]() { SelectBoard(2); });

    // The memory menu's two options are remembered as soon as they change.
    connect(ui_->menu_memory_verify, &QAction::triggered, this,
            [this](bool on) { desktopsettings::StoreVerifyAfterWrite(context_.state, on); });
    connect(ui_->menu_memory_eeprom, &QAction::triggered, this,
            [this](bool on) { desktopsettings::StoreWriteHexEeprom(context_.state, on); });
    ui_->menu_file_recent->setEnabled(false);

    // The status line under the buttons: the chosen file's summary.
    FileSummary_ = new QLabel(this);
    FileSummary_->setObjectName(QStringLiteral("FileSummary"));
    ui_->statusbar->addWidget(FileSummary_, 1);
}

FormMain::~FormMain() {
    delete eepromViewer_;
    delete confReg_;
}

QString FormMain::HexFileName() const {
    return hexPath_;
}

void FormMain::SetHexFileName(const QString& path) {
    hexPath_ = path;
    QLabel& label = *ui_->HexFileName;
    // The label's indent (half an 'x' beside its frame) on either side.
    const int width = label.contentsRect().width() - label.fontMetrics().horizontalAdvance(u'x');
    label.setText(windowstyle::ElidedPath(label.fontMetrics(), path, width));
    label.setToolTip(path);
    UpdateFileSummary();
}

void FormMain::UpdateFileSummary() {
    if (hexPath_.isEmpty()) {
        FileSummary_->clear();
        return;
    }
    const filesummary::Summary summary = filesummary::Summarize(hexPath_);
    FileSummary_->setText(filesummary::StatusText(summary));
    QPalette palette = FileSummary_->palette();
    palette.setColor(QPalette::WindowText, summary.state == filesummary::State::Good
                                               ? this->palette().color(QPalette::WindowText)
                                               : QColor(0xB0, 0x00, 0x00));
    FileSummary_->setPalette(palette);
}

void FormMain::ChooseFile(const QString& path) {
    SetHexFileName(path);
    SetRecentFiles(desktopsettings::WithRecent(recentFiles_, path));
    desktopsettings::StoreRecentFiles(context_.state, recentFiles_);
}

void FormMain::SetRecentFiles(const QStringList& files) {
    recentFiles_ = files;
    QMenu& menu = *ui_->menu_file_recent;
    menu.clear();
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        const QString shown = windowstyle::ElidedPath(menu.fontMetrics(), path, 360);
        QAction* item = menu.addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
        item->setObjectName(QStringLiteral("menu_file_recent%1").arg(i + 1));
        item->setToolTip(path);
        connect(item, &QAction::triggered, this, [this, path]() { OpenRecentFile(path); });
    }
    menu.setEnabled(!files.isEmpty());
}

void FormMain::OpenRecentFile(const QString& path) {
    if (!FileExists(path)) {
        QStringList rest = recentFiles_;
        rest.removeAll(path);
        SetRecentFiles(rest);
        desktopsettings::StoreRecentFiles(context_.state, recentFiles_);
        ShowStop(Text(texts::kRecentFileGone) + Text(texts::kCrLf) + path);
        return;
    }
    context_.commonDialog.FileName = path;
    ChooseFile(path);
}

void FormMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The file may have been made again while another window was in front.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) UpdateFileSummary();
}

void FormMain::ShowStop(const QString& text) {
    context_.host.MessageBox(text, Text(texts::kAppTitle), MsgIcon::Critical);
}

FormMain::LoadResult FormMain::FormLoad() {
    try {
        return Load();
    } catch (const std::exception&) {
        ShowStop(Text(texts::kAppTitle) + Text(texts::kStartupFailedSuffix));
        return LoadResult::Ended;
    }
}

FormMain::LoadResult FormMain::Load() {
    AppState& state = context_.state;
    state.VersionText =
        shellsettings::BuildVersionText(programversion::kMajor, programversion::kMinor);

    instanceLock_ = std::make_unique<InstanceLock>(context_.instanceLockPath);
    QString lockProblem;
    switch (instanceLock_->TryLock(&lockProblem)) {
        case InstanceLock::Result::Locked:
            break;
        case InstanceLock::Result::Held:
            ShowStop(Text(texts::kAlreadyRunningPrefix) + Text(texts::kAppTitle) +
                     Text(texts::kAlreadyRunningSuffix));
            return LoadResult::Ended;
        case InstanceLock::Result::Refused:
            // Whatever another user has put in the way must neither keep the
            // program from starting nor make it say that it runs already:
            // it runs without the check and says why.
            std::fprintf(stderr, "qlarkw: %s; starting without the check for a second copy\n",
                         lockProblem.toLocal8Bit().constData());
            break;
    }

    const commandline::StartRequest request = commandline::Parse(context_.commandLine, FileExists);
    switch (request.verdict) {
        case commandline::Verdict::Accepted:
            break;
        case commandline::Verdict::WrongArgument:
            ShowStop(Text(texts::kWrongArgument));
            return LoadResult::Ended;
        case commandline::Verdict::CannotLoadFile:
            ShowStop(Text(texts::kCannotLoadFile));
            return LoadResult::Ended;
    }
    state.StartMode = request.StartMode;
    state.StartArgument = request.StartArgument;

    state.ConfRegLeft = 0;
    state.ConfRegTop = 0;
    state.SettingsPath =
        QDir::toNativeSeparators(SettingsPathFor(context_.programDir, UserSettingsDir()));
    state.StartupCheckState = startupcheck::kRunning;
    state.NoPermissionHint = Text(texts::kNoPermissionManual);

    const desktopsettings::Options options = desktopsettings::ReadOptions(state);
    ui_->menu_memory_verify->setChecked(options.verifyAfterWrite);
    ui_->menu_memory_eeprom->setChecked(options.writeHexEeprom);
    SetRecentFiles(desktopsettings::ReadRecentFiles(state));

    const QString absent = Text(texts::kSettingAbsent);
    const QString name =
        shellsettings::ReadSetting(state, Text(texts::kSectionFile), Text(texts::kKeyName));
    if (name != absent) {
        SetHexFileName(name);
        context_.commonDialog.FileName = name;
    }
    SelectBoard(shellsettings::BoardFromSetting(
        shellsettings::ReadSetting(state, Text(texts::kSectionMode), Text(texts::kKeyQLark))));

    CheckView view(*this);
    if (StartupWriterCheck(context_.device, context_.host, state, view) ==
        StartupCheckResult::Abandoned) {
        return LoadResult::Ended;  // closed by the user: nothing is stored
    }

    const std::optional<int16_t> word = shellsettings::ConfigWordFromSetting(
        shellsettings::ReadSetting(state, Text(texts::kSectionConfig), Text(texts::kKeyWord)));
    if (!word) {
        ShowStop(Text(texts::kAppTitle) + Text(texts::kStartupFailedSuffix));
        return LoadResult::Ended;
    }
    state.ConfigWord = *word;

    switch (state.StartMode) {
        case startmode::kEepromWrite:
            // The write form hides this window; closing the form closes it.
            eepromWrite_ = std::make_unique<frmEEPROMwrite>(
                frmEEPROMwrite::Services{context_.device, context_.host, state}, this);
            eepromWrite_->show();
            return LoadResult::EepromWriteForm;
        case startmode::kHexFile:
            SetHexFileName(state.StartArgument);
            context_.commonDialog.FileName = state.StartArgument;
            StartWrite();
            return LoadResult::Ended;  // no settings are stored in this mode
        default:
            adjustSize();  // the size as laid out, before it is placed
            windowstyle::CentreOnScreen(*this);
            return LoadResult::Waiting;
    }
}

void FormMain::FormUnload() {
    // One message for whatever could not be stored; the program ends all
    // the same.
    if (!shellsettings::StoreAtShutdown(context_.state, HexFileName())) {
        context_.host.MessageBox(
            Text(texts::kSettingsNotSaved) + Text(texts::kCrLf) + context_.state.SettingsPath,
            Text(texts::kCaptionFileError), MsgIcon::Critical);
    }
}

void FormMain::closeEvent(QCloseEvent* event) {
    FormUnload();
    event->accept();
    // Every other window goes with the program, without a close of its own:
    // nothing of theirs is stored (the register viewer's position).
    for (QWidget* window :
         {static_cast<QWidget*>(eepromViewer_.data()), static_cast<QWidget*>(confReg_.data())}) {
        if (window) window->hide();
    }
    if (context_.quit) context_.quit();
}

void FormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (SingleDroppedFile(event->mimeData())) event->acceptProposedAction();
}

void FormMain::dropEvent(QDropEvent* event) {
    const std::optional<QString> file = SingleDroppedFile(event->mimeData());
    if (!file) return;
    ChooseFile(*file);
    event->acceptProposedAction();
}

void FormMain::Browse() {
    const std::optional<QString> chosen =
        context_.desktop.AskOpenFileName(this, context_.commonDialog.FileName);
    if (!chosen) return;
    context_.commonDialog.FileName = *chosen;
    ChooseFile(*chosen);
}

void FormMain::OpenInTextEditor() {
    const QString path = HexFileName();
    if (!FileExists(path)) {
        ShowStop(Text(texts::kFileMissing));
        return;
    }
    if (!context_.desktop.OpenInTextEditor(path)) ShowStop(Text(texts::kEditorOpenFailed));
}

void FormMain::RunOperationDialog(frmReadWrite::Operation operation, const QString& question,
                                  const QString& hexFile) {
    frmReadWrite dialog(
        frmReadWrite::Services{context_.device, context_.host, context_.state, context_.runner},
        this);
    dialog.SetOperation(operation, hexFile);
    dialog.SetQuestion(question);
    dialog.SetWriteOptions({.verify = ui_->menu_memory_verify->isChecked(),
                            .hexEeprom = ui_->menu_memory_eeprom->isChecked()});
    context_.runner.RunModal(dialog);
}

void FormMain::StartWrite() {
    const QString path = HexFileName();
    if (path.isEmpty()) {
        ShowStop(Text(texts::kChooseHexFile));
        return;
    }
    if (!FileExists(path)) {
        ShowStop(Text(texts::kHexFileMissing));
        return;
    }
    RunOperationDialog(frmReadWrite::Operation::Write,
                       Text(texts::kAskWrite) + Text(texts::kCrLf) + path, path);
}

void FormMain::StartRead() {
    RunOperationDialog(frmReadWrite::Operation::Read, Text(texts::kAskRead));
}

void FormMain::StartErase() {
    RunOperationDialog(frmReadWrite::Operation::Erase, Text(texts::kAskErase));
}

void FormMain::OpenEepromViewer() {
    // The first activation after this reads the EEPROM.
    context_.state.EepromViewerActivated = false;
    if (!eepromViewer_) {
        eepromViewer_ = new frmEPROM(frmEPROM::Services{
            context_.clock, context_.device, context_.host, context_.state, context_.runner});
        connect(eepromViewer_, &frmEPROM::unloaded, this, [this]() { eepromViewer_ = nullptr; });
    }
    ShowInFront(*eepromViewer_);
}

void FormMain::OpenConfigRegisterWindow() {
    if (!confReg_) {
        confReg_ =
            new frmConfReg(frmConfReg::Services{context_.device, context_.host, context_.state});
        connect(confReg_, &frmConfReg::unloaded, this, [this]() { confReg_ = nullptr; });
    }
    ShowInFront(*confReg_);
}

void FormMain::SelectBoard(int16_t board) {
    const bool qlark = board == kBoardQLark;
    ui_->munQLARK->setChecked(qlark);
    ui_->munQLARK2->setChecked(!qlark);
    context_.state.BoardMode = qlark ? kBoardQLark : kBoardQLark2;
    (qlark ? ui_->Image2 : ui_->Image1)->setVisible(false);
    (qlark ? ui_->Image1 : ui_->Image2)->setVisible(true);
    setWindowTitle(Text(qlark ? texts::kTitleForQLark : texts::kTitleForQLark2));
}

void FormMain::OpenHelp() {
    const QDir programDir(context_.programDir);
    const QString helpFile =
        QDir::toNativeSeparators(programDir.filePath(Text(texts::kHelpFileName)));
    if (FileExists(helpFile)) {
        if (!context_.desktop.OpenHelpFile(this, helpFile)) ShowStop(Text(texts::kHelpOpenFailed));
        return;
    }
    // The manual lies beside the program (Windows, the build tree) or in
    // the package's documentation folder (share/doc/qlarkw beside bin).
    const QString manual = Text(texts::kManualFolder) + u'/' + Text(texts::kManualPage);
    for (const QString& candidate :
         {programDir.filePath(manual),
          programDir.filePath(QStringLiteral("../share/doc/qlarkw/") + manual)}) {
        if (!FileExists(candidate)) continue;
        if (context_.desktop.OpenManual(QDir::cleanPath(candidate))) return;
        break;
    }
    ShowStop(Text(texts::kHelpOpenFailed));
}

void FormMain::ShowAbout() {
    frmAbout about(context_.device, context_.host, context_.state, this);
    context_.runner.RunModal(about);
}
