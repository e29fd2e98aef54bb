#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

#include "program/frmReadWrite.h"
#include "shell/StartupCheck.h"

namespace Ui {
class FormMain;
}

class ClockTimer;
class QLabel;
class InstanceLock;
class frmConfReg;
class frmEEPROMwrite;
class frmEPROM;
struct ShellContext;

// The main window: the HEX file, the program-memory commands, the EEPROM
// viewer and the configuration register viewer, the board selection, help
// and About. Its loading (FormLoad) is the program's start-up; its closing
// stores the settings and ends the program with every other window.
class FormMain final : public QMainWindow {
    Q_OBJECT
  public:
    explicit FormMain(ShellContext& context);
    ~FormMain() override;

    enum class LoadResult {
        Waiting,  // the window is to be shown and waits for commands
        Ended,    // start-up has ended the program (nothing more to do)
        // The "/F" start: the EEPROM write form is shown, the main window
        // stays hidden, and the program runs until the form closes.
        EepromWriteForm,
    };
    // Start-up: single instance, command line, settings, board, the Writer
    // check, the configuration word, and the job the command line asked for.
    LoadResult FormLoad();

    // Commands (buttons and menu items run the same).
    void Browse();
    void OpenInTextEditor();
    void StartWrite();
    void StartRead();
    void StartErase();
    void OpenEepromViewer();
    void OpenConfigRegisterWindow();
    void SelectBoard(int16_t board);
    void OpenHelp();
    void ShowAbout();

    // Chooses the file from the File menu's recent files; a file that is
    // gone is taken off the list with a message.
    void OpenRecentFile(const QString& path);

    // The HEX file's full path; the label shows it shortened in its middle
    // when it does not fit, and whole in its tooltip.
    QString HexFileName() const;
    void SetHexFileName(const QString& path);

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    class CheckView;

    LoadResult Load();
    void FormUnload();
    void ShowStop(const QString& text);
    void RunOperationDialog(frmReadWrite::Operation operation, const QString& question,
                            const QString& hexFile = {});
    // The user chose `path` (browse, drop, recent files): it is shown and
    // goes to the front of the recent files.
    void ChooseFile(const QString& path);
    void SetRecentFiles(const QStringList& files);
    // The status line's summary of the HEX file as it is on disk now.
    void UpdateFileSummary();

    std::unique_ptr<Ui::FormMain> ui_;
    ShellContext& context_;
    ClockTimer* Timer1_ = nullptr;
    std::unique_ptr<InstanceLock> instanceLock_;
    // The non-modal windows, while they are loaded. They are windows of
    // their own (no parent), deleted when they unload or with this window.
    QPointer<frmEPROM> eepromViewer_;
    QPointer<frmConfReg> confReg_;
    std::unique_ptr<frmEEPROMwrite> eepromWrite_;
    QString hexPath_;
    QStringList recentFiles_;
    QLabel* FileSummary_ = nullptr;
};
