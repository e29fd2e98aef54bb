// qlarkw-shots OUTDIR: drives the desktop program's windows on the simulated
// Writer (virtual clock) and saves each window and message box as a PNG,
// with a drawn caption bar, so the screens can be checked by eye.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "config/frmConfReg.h"
#include "config/frmConfig.h"
#include "desktop/DesktopServices.h"
#include "desktop/FormMain.h"
#include "desktop/GuiHost.h"
#include "desktop/ShellContext.h"
#include "desktop/frmAbout.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/frmEPROM.h"
#include "eeprom/frmInput.h"
#include "link/ForwardingDevice.h"
#include "link/protocol/MemoryMap.h"
#include "program/ProgramJobs.h"
#include "program/frmReadWrite.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "sim/SimDevice.h"
#include "windowbase/ModalRunner.h"
#include "windowbase/StandardTexts.h"

namespace {

QString g_outDir;
int g_count = 0;

enum class Sizing { AsLaidOut, AsShown };

// The window's content under a plain caption bar, at its size as laid out
// or, for a window the user may resize, as it was shown.
void Save(QWidget& window, const QString& name, Sizing sizing = Sizing::AsLaidOut) {
    if (sizing == Sizing::AsLaidOut) window.adjustSize();
    QCoreApplication::processEvents();
    const QPixmap content = window.grab();
    const qreal dpr = content.devicePixelRatio();
    const QSize size = content.deviceIndependentSize().toSize();
    const int bar = 24;
    QPixmap image(QSize(size.width() + 2, size.height() + bar + 1) * dpr);
    image.setDevicePixelRatio(dpr);
    image.fill(QColor(0x60, 0x60, 0x60));
    QPainter painter(&image);
    painter.fillRect(QRect(1, 1, size.width(), bar - 1), QColor(0x2b, 0x57, 0x9a));
    painter.setPen(Qt::white);
    QFont font = window.font();
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(8, 1, size.width() - 30, bar - 1), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawText(QRect(size.width() - 20, 1, 16, bar - 1), Qt::AlignCenter,
                     QStringLiteral("×"));
    painter.drawPixmap(1, bar, content);
    painter.end();
    const QString file = QDir(g_outDir).filePath(
        QStringLiteral("%1-%2.png").arg(++g_count, 2, 10, QLatin1Char('0')).arg(name));
    image.save(file);
    std::printf("%s\n", qPrintable(file));
}

// Message boxes are saved as they are shown, named after the scene.
class ShotHost final : public Host {
  public:
    explicit ShotHost(VirtualClock& clock) : clock_(clock) {}
    void Sleep(int ms) override { clock_.SleepMs(ms); }
    void ProcessEvents() override {
        QCoreApplication::processEvents();
        if (onEvents) onEvents();
    }
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        auto box = GuiHost::MakeMessageBox(text, caption, icon, buttons, nullptr);
        box->show();
        Save(*box, QStringLiteral("message-") + scene);
        box->close();
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    std::optional<QString> AskSaveFileName(const QString&) override { return savePath; }

    QString scene;
    QString savePath;
    std::function<void()> onEvents;

  private:
    VirtualClock& clock_;
};

// Dialogs are shown, saved, and answered by the scene's script.
class ShotRunner final : public ModalRunner {
  public:
    int RunModal(QDialog& dialog) override {
        dialog.show();
        QString name = dialog.objectName();
        if (name == u"frmReadWrite") name += u'-' + dialog.windowTitle();
        if (!shotSuffix.isEmpty()) name += u'-' + shotSuffix;
        Save(dialog, name);
        if (auto* rw = qobject_cast<frmReadWrite*>(&dialog)) {
            if (confirm)
                rw->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
            else
                dialog.reject();
        } else if (qobject_cast<frmConfig*>(&dialog)) {
            dialog.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        } else {
            dialog.accept();
        }
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
    bool confirm = false;
    QString shotSuffix;  // tells apart two shots of the same dialog
};

// The file dialog (Qt's own) once it has listed its folder: saved, and then
// confirmed with the file it was opened on.
void SaveAndConfirmFileDialog() {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
        std::fprintf(stderr, "qlarkw-shots: the open dialog did not show\n");
        return;
    }
    // The folder is listed by a worker thread: wait for its rows (a few
    // seconds at the most, then the dialog is saved as it is).
    auto* files = dialog->findChild<QListView*>(QStringLiteral("listView"));
    QElapsedTimer waited;
    waited.start();
    while (files && files->model()->rowCount(files->rootIndex()) == 0 && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    Save(*dialog, QStringLiteral("QFileDialog-browse"), Sizing::AsShown);
    static_cast<QDialog*>(dialog)->accept();  // as its Open button does
}

// The open dialog of the program (SystemDesktop), driven by a timer that
// saves it; help and the text editor are not started.
class ShotDesktop final : public DesktopServices {
  public:
    std::optional<QString> AskOpenFileName(QWidget* parent, const QString& current) override {
        QTimer::singleShot(0, parent, &SaveAndConfirmFileDialog);
        return system_.AskOpenFileName(parent, current);
    }
    bool OpenHelpFile(QWidget*, const QString&) override { return false; }
    bool OpenInTextEditor(const QString&) override { return false; }
    bool OpenManual(const QString&) override { return false; }

  private:
    SystemDesktop system_;
};

// A Writer that is plugged in but this user may not open.
class NoPermissionDevice final : public ForwardingDevice {
  public:
    FtStatus OpenEx(const QByteArray&) override { return FT_NO_PERMISSION; }
};

// One program run: simulated Writer, settings in its own directory.
struct Run {
    explicit Run(const QString& dir, FaultPlan faults = {}) : programDir(dir) {
        SimDevice::Options options;
        options.faults = std::move(faults);
        device = std::make_unique<SimDevice>(clock, std::move(options));
    }
    ShellContext Context(const QString& commandLine = QString()) {
        return ShellContext{clock,        *device,
                            host,         state,
                            runner,       desktop,
                            commonDialog, programDir,
                            commandLine,  QDir(programDir).filePath(QStringLiteral("lock")),
                            []() {}};
    }
    VirtualClock clock;
    std::unique_ptr<SimDevice> device;
    ShotHost host{clock};
    AppState state;
    ShotRunner runner;
    ShotDesktop desktop;
    CommonDialogState commonDialog;
    QString programDir;
};

// The sample program's configuration word: HS oscillator, watchdog and
// power-up timer off, no code protection.
constexpr uint16_t kSampleConfigWord = 0x3FFA;

// A HEX file that fills all of program memory, as `name` in `dir`.
QString WriteSampleHex(const QString& dir, const QString& name = QStringLiteral("sample.hex")) {
    ProgramImage image;
    for (int i = 0; i < memorymap::kProgramWords; ++i)
        image.program[i] = static_cast<uint16_t>((i * 37 + 0x100) & memorymap::kWordMask);
    image.config.fill(memorymap::kBlankWord);
    image.config[memorymap::kConfigWordIndex] = kSampleConfigWord;
    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(FormatReadOutFile(image));
    return QDir::toNativeSeparators(path);
}

// The visible top-level window called `name`, or null.
QWidget* VisibleWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == QLatin1String(name)) return w;
    }
    return nullptr;
}

// The window system's activation, sent at once: the viewers read on it.
void Activate(QWidget& window) {
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
}

// An EEPROM data file of 64 bytes: a short text and a count.
QString WriteSampleDataFile(const QString& dir) {
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};
    const QByteArray text = "Q-LARK";
    for (int a = 0; a < memorymap::kEepromBytes; ++a)
        bytes[a] = a < text.size() ? static_cast<uint8_t>(text[a]) : static_cast<uint8_t>(a * 5);
    const QString path = QDir(dir).filePath(QStringLiteral("eeprom.txt"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(eepromfile::Format(bytes));
    return QDir::toNativeSeparators(path);
}

// The EEPROM viewer before and after a read, and the byte editor with each
// of its input messages and while it waits after a write.
void EepromViewerShots(const QString& dir) {
    Run run(dir);
    auto& eeprom = run.device->firmware().chip().eeprom;
    for (int a = 0; a < memorymap::kEepromBytes; ++a)
        eeprom[a] = static_cast<uint8_t>(a < 16 ? 0xFF - a * 17 : a * 7 + 3);
    frmEPROM viewer(frmEPROM::Services{run.clock, *run.device, run.host, run.state, run.runner});
    viewer.show();
    Save(viewer, QStringLiteral("frmEPROM-before-read"));
    Activate(viewer);
    viewer.findChild<QTableWidget*>(QStringLiteral("Grid1"))->setCurrentCell(1, 2);
    Save(viewer, QStringLiteral("frmEPROM-read"));
    // DATA Clear: its question, then the erased bytes read again.
    run.host.scene = QStringLiteral("eeprom-erase");
    viewer.findChild<QPushButton*>(QStringLiteral("cmdEraseAll"))->click();
    Save(viewer, QStringLiteral("frmEPROM-erased"));
    {  // A read the board does not answer: the status line keeps its text.
        FaultPlan noBoard;
        noBoard.boardMissing[kBoardQLark2] = true;
        Run failing(dir, noBoard);
        failing.state.BoardMode = kBoardQLark2;
        failing.host.scene = QStringLiteral("eeprom-no-board");
        frmEPROM other(frmEPROM::Services{failing.clock, *failing.device, failing.host,
                                          failing.state, failing.runner});
        other.show();
        Activate(other);
        Save(other, QStringLiteral("frmEPROM-no-board"));
    }

    struct Input {
        const char* text;
        const char* scene;
    } const inputs[] = {
        {"100", "editor-100"},
        {"", "editor-empty"},
        {"*", "editor-unread"},
    };
    for (const Input& input : inputs) {
        run.state.EepromCellText = QStringLiteral("*");
        frmInput editor(frmInput::Services{run.clock, *run.device, run.host, run.state}, 2, 3,
                        &viewer);
        editor.show();
        editor.findChild<QLineEdit*>(QStringLiteral("Data1"))->setText(QLatin1String(input.text));
        run.host.scene = QString::fromLatin1(input.scene);
        editor.findChild<QPushButton*>(QStringLiteral("cmdWrite"))->click();
    }
    run.state.EepromCellText = QStringLiteral("5C");
    frmInput editor(frmInput::Services{run.clock, *run.device, run.host, run.state}, 2, 3, &viewer);
    editor.show();
    Save(editor, QStringLiteral("frmInput-0x12"));
    editor.findChild<QLineEdit*>(QStringLiteral("Data1"))->setText(QStringLiteral("A5"));
    bool saved = false;
    run.host.onEvents = [&]() {
        if (saved || editor.findChild<QPushButton*>(QStringLiteral("cmdWrite"))->isEnabled())
            return;
        Save(editor, QStringLiteral("frmInput-writing"));
        saved = true;
    };
    run.host.scene = QStringLiteral("editor-write");
    editor.findChild<QPushButton*>(QStringLiteral("cmdWrite"))->click();
    run.host.onEvents = nullptr;
}

// The "/F" start: the write form before OK and during the transfer, and
// its three outcomes.
void EepromWriteFormShots(const QString& dataFile) {
    FaultPlan tenthPair;
    tenthPair.replaceByte[12] = 'x';
    FaultPlan noPower;
    noPower.boardMissing[kBoardQLark2] = true;
    struct Outcome {
        const char* scene;
        FaultPlan faults;
    } const outcomes[] = {
        {"eeprom-write-done", {}},
        {"eeprom-write-link-failed", tenthPair},
        {"eeprom-write-no-power", noPower},
    };
    bool first = true;
    for (const Outcome& outcome : outcomes) {
        QTemporaryDir programDir;
        Run run(programDir.path(), outcome.faults);
        ShellContext context = run.Context(QStringLiteral("/F") + dataFile);
        FormMain form(context);
        form.FormLoad();
        QWidget* writeForm = VisibleWindow("frmEEPROMwrite");
        if (!writeForm) {
            std::fprintf(stderr, "qlarkw-shots: the EEPROM write form did not show\n");
            return;
        }
        if (first) Save(*writeForm, QStringLiteral("frmEEPROMwrite"));
        int events = 0;
        run.host.onEvents = [&]() {
            if (first && ++events == 24) Save(*writeForm, QStringLiteral("frmEEPROMwrite-running"));
        };
        run.host.scene = QString::fromLatin1(outcome.scene);
        writeForm->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        run.host.onEvents = nullptr;
        first = false;
    }
}

// The configuration register viewer before its read and with a few
// configuration bytes.
void ConfRegShots(const QString& dir) {
    Run run(dir);
    {
        frmConfReg window(frmConfReg::Services{*run.device, run.host, run.state});
        window.show();
        Save(window, QStringLiteral("frmConfReg-before-read"));
    }
    struct Word {
        uint16_t word;
        const char* name;
    } const words[] = {
        {kSampleConfigWord, "frmConfReg-3FFA"},
        {0x3FF5, "frmConfReg-3FF5"},
        {0x3F83, "frmConfReg-3F83"},
    };
    for (const Word& w : words) {
        run.device->firmware().chip().config[memorymap::kConfigWordIndex] = w.word;
        frmConfReg window(frmConfReg::Services{*run.device, run.host, run.state});
        window.show();
        Activate(window);
        Save(window, QString::fromLatin1(w.name));
    }
    FaultPlan noBoard;
    noBoard.boardMissing[kBoardQLark2] = true;
    Run failing(dir, noBoard);
    failing.state.BoardMode = kBoardQLark2;
    failing.host.scene = QStringLiteral("confreg-no-board");
    auto* window =
        new frmConfReg(frmConfReg::Services{*failing.device, failing.host, failing.state});
    window->show();
    Activate(*window);  // fails, and the window closes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Qt's own file dialog, as on systems without a native one, so that it
    // can be saved and answered.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: qlarkw-shots OUTDIR\n");
        return 2;
    }
    if (!InstallJapaneseStandardTexts(app))
        std::fprintf(stderr,
                     "qlarkw-shots: Qt's Japanese translation (qtbase_ja.qm) is missing; standard "
                     "buttons and the file dialog show in English\n");
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);
    QTemporaryDir temp;
    const QString hexPath = WriteSampleHex(temp.path());

    {  // First start: no settings file, Q-LARK2; the start-up check's notice.
        Run run(temp.path());
        ShellContext context = run.Context();
        FormMain form(context);
        bool saved = false;
        run.host.onEvents = [&]() {
            if (saved) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->isVisible() && w->objectName() == u"frmReadWrite") {
                    Save(*w, QStringLiteral("frmReadWrite-startup-check"));
                    saved = true;
                }
            }
        };
        form.FormLoad();
        run.host.onEvents = nullptr;
        form.show();
        Save(form, QStringLiteral("FormMain-QLARK2-first-start"));

        form.SelectBoard(1);
        form.SetHexFileName(hexPath);
        run.commonDialog.FileName = hexPath;
        form.Browse();  // the open dialog, confirmed with the sample file
        Save(form, QStringLiteral("FormMain-QLARK-with-file"));

        run.host.scene = QStringLiteral("editor-failed");
        form.OpenInTextEditor();
        run.host.scene = QStringLiteral("help-failed");
        form.OpenHelp();

        run.host.scene = QStringLiteral("question");
        run.runner.confirm = false;
        form.StartWrite();
        form.StartRead();
        form.StartErase();

        // The write question with a path far wider than the dialog.
        const QString deepDir =
            QDir(temp.path())
                .filePath(QString::fromUtf8(
                    "ロボット教室/2005年度/第3回 サーボモータの制御/PICプログラム/build/release"));
        QDir().mkpath(deepDir);
        form.SetHexFileName(
            WriteSampleHex(deepDir, QStringLiteral("servo_controller_with_long_name.hex")));
        run.runner.shotSuffix = QStringLiteral("long-path");
        form.StartWrite();
        run.runner.shotSuffix.clear();
        form.SetHexFileName(hexPath);

        // A write to its end, saved half-way.
        run.runner.confirm = true;
        run.host.scene = QStringLiteral("write");
        int events = 0;
        run.host.onEvents = [&]() {
            if (++events != 500) return;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->isVisible() || w->objectName() != u"frmReadWrite") continue;
                // The dialog shows the count at the eye's pace (every 30 ms
                // of real time); the write on the virtual clock is faster.
                QElapsedTimer caughtUp;
                caughtUp.start();
                while (caughtUp.elapsed() < 50) QCoreApplication::processEvents();
                Save(*w, QStringLiteral("frmReadWrite-Write-running"));
            }
        };
        form.StartWrite();
        run.host.onEvents = nullptr;
        run.host.scene = QStringLiteral("read");
        run.host.savePath = QDir(temp.path()).filePath(QStringLiteral("read.hex"));
        form.StartRead();
        run.host.scene = QStringLiteral("erase");
        form.StartErase();

        form.ShowAbout();

        // The memory menu's options and the recent files.
        auto saveMenu = [&](const char* name, const QString& shot) {
            auto* menu = form.findChild<QMenu*>(QLatin1String(name));
            menu->popup(form.mapToGlobal(QPoint(40, 0)));
            QCoreApplication::processEvents();
            Save(*menu, shot);
            menu->hide();
        };
        form.findChild<QAction*>(QStringLiteral("menu_memory_verify"))->setChecked(true);
        saveMenu("menu_memory", QStringLiteral("menu-memory-options"));
        for (const char* name : {"line_tracer.hex", "servo_test.hex", "blink.hex"})
            form.OpenRecentFile(WriteSampleHex(temp.path(), QLatin1String(name)));
        saveMenu("menu_file_recent", QStringLiteral("menu-file-recent"));
        const QString gone = WriteSampleHex(temp.path(), QStringLiteral("old_version.hex"));
        form.OpenRecentFile(gone);
        QFile::remove(gone);
        run.host.scene = QStringLiteral("recent-file-gone");
        form.OpenRecentFile(gone);
        form.SetHexFileName(hexPath);

        // Verify after write: the read-back half-way, then a good chip and
        // one whose word 0x12 did not take.
        run.runner.confirm = true;
        for (const bool corrupt : {false, true}) {
            events = 0;
            run.host.onEvents = [&]() {
                // Word 0x12 loses what the write gave it.
                uint16_t& word = run.device->firmware().chip().program[0x12];
                if (corrupt && word != memorymap::kBlankWord) word = memorymap::kBlankWord;
                QWidget* w = VisibleWindow("frmReadWrite");
                const auto* label = w ? w->findChild<QLabel*>(QStringLiteral("Label1")) : nullptr;
                if (!label || !label->text().startsWith(QString::fromUtf8("書込み後の検証中")))
                    return;
                if (++events != 400 || corrupt) return;
                QElapsedTimer caughtUp;
                caughtUp.start();
                while (caughtUp.elapsed() < 50) QCoreApplication::processEvents();
                Save(*w, QStringLiteral("frmReadWrite-Write-verifying"));
            };
            run.host.scene =
                corrupt ? QStringLiteral("verify-mismatch") : QStringLiteral("verify-done");
            form.StartWrite();
        }
        run.host.onEvents = nullptr;
        form.findChild<QAction*>(QStringLiteral("menu_memory_verify"))->setChecked(false);

        // A file with EEPROM data, written without it.
        QByteArray withEeprom;
        {
            QFile sample(hexPath);
            if (sample.open(QIODevice::ReadOnly)) withEeprom = sample.readAll();
        }
        withEeprom.insert(withEeprom.indexOf(":00000001FF"),
                          ":104200005100200043006F0075006E007400000034\r\n");
        const QString eepromPath = QDir(temp.path()).filePath(QStringLiteral("with_eeprom.hex"));
        QFile eepromFile(eepromPath);
        if (eepromFile.open(QIODevice::WriteOnly)) eepromFile.write(withEeprom);
        eepromFile.close();
        form.SetHexFileName(QDir::toNativeSeparators(eepromPath));
        Save(form, QStringLiteral("FormMain-file-with-eeprom"));
        run.host.scene = QStringLiteral("hex-eeprom-not-written");
        form.StartWrite();

        // A file the status line finds broken.
        QByteArray broken;
        {
            QFile sample(hexPath);
            if (sample.open(QIODevice::ReadOnly)) broken = sample.readAll();
        }
        broken[broken.indexOf('\n', 400) - 2] = '0';  // a checksum digit of line 12
        const QString brokenPath = QDir(temp.path()).filePath(QStringLiteral("broken.hex"));
        QFile brokenFile(brokenPath);
        if (brokenFile.open(QIODevice::WriteOnly)) brokenFile.write(broken);
        brokenFile.close();
        form.SetHexFileName(QDir::toNativeSeparators(brokenPath));
        Save(form, QStringLiteral("FormMain-broken-file"));
        form.SetHexFileName(hexPath);

        form.SetHexFileName(QString());
        run.host.scene = QStringLiteral("no-file-chosen");
        form.StartWrite();
        form.SetHexFileName(QDir(temp.path()).filePath(QStringLiteral("gone.hex")));
        run.host.scene = QStringLiteral("hex-file-missing");
        form.StartWrite();
        run.host.scene = QStringLiteral("file-missing");
        form.OpenInTextEditor();

        run.state.ConfigWord = 0x3FF9;
        frmConfig config(run.state, &form);
        config.show();
        Save(config, QStringLiteral("frmConfig-3FF9"));
    }
    EepromViewerShots(temp.path());
    EepromWriteFormShots(WriteSampleDataFile(temp.path()));
    ConfRegShots(temp.path());
    {  // About box without a Writer.
        FaultPlan faults;
        faults.openFails = true;
        Run run(temp.path(), faults);
        run.state.VersionText = QStringLiteral("1.08 2005.5");
        frmAbout about(*run.device, run.host, run.state);
        about.show();
        Save(about, QStringLiteral("frmAbout-no-writer"));
    }
    {  // Start-up messages.
        struct Case {
            const char* scene;
            QString commandLine;
            FaultPlan faults;
        };
        FaultPlan silent;
        silent.silent = true;
        FaultPlan unplugged;
        unplugged.openFails = true;
        const Case cases[] = {
            {"wrong-argument", QStringLiteral("\"") + hexPath + u'"', {}},
            {"cannot-load-file", QStringLiteral("missing.hex"), {}},
            {"writer-unplugged", QString(), unplugged},
            {"writer-silent", QString(), silent},
        };
        for (const Case& c : cases) {
            QTemporaryDir dir;
            Run run(dir.path(), c.faults);
            run.host.scene = QString::fromLatin1(c.scene);
            ShellContext context = run.Context(c.commandLine);
            FormMain form(context);
            form.FormLoad();
        }
        QTemporaryDir dir;
        QFile settings(QDir(dir.path()).filePath(QStringLiteral("qlarkw.ini")));
        if (settings.open(QIODevice::WriteOnly)) settings.write("[Config]\r\nword=abc\r\n");
        settings.close();
        Run run(dir.path());
        run.host.scene = QStringLiteral("startup-failed");
        ShellContext context = run.Context();
        FormMain form(context);
        form.FormLoad();

        {  // A Writer this user may not open.
            NoPermissionDevice noPermission;
            Run denied(dir.path());
            denied.host.scene = QStringLiteral("no-permission");
            ShellContext deniedContext = denied.Context();
            ShellContext withDevice{deniedContext.clock,
                                    noPermission,
                                    deniedContext.host,
                                    deniedContext.state,
                                    deniedContext.runner,
                                    deniedContext.desktop,
                                    deniedContext.commonDialog,
                                    deniedContext.programDir,
                                    QString(),
                                    deniedContext.instanceLockPath,
                                    []() {}};
            QTemporaryDir lockDir;
            withDevice.instanceLockPath = QDir(lockDir.path()).filePath(QStringLiteral("lock"));
            FormMain deniedForm(withDevice);
            deniedForm.FormLoad();
            denied.runner.confirm = true;
            deniedForm.StartErase();
        }

        Run second(dir.path());
        second.host.scene = QStringLiteral("already-running");
        ShellContext secondContext = second.Context();
        FormMain secondForm(secondContext);
        secondForm.FormLoad();
    }
    return 0;
}
