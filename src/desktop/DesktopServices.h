#pragma once

#include <QString>
#include <optional>

#include "shell/CommonDialog.h"

class QWidget;

// What the main window asks of the desktop beyond the jobs' Host: the open
// dialog, the help viewer and the text editor. The program uses the
// platform's own (SystemDesktop); tests answer from a script.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;
    // The open dialog, starting at `currentFileName`; nothing when cancelled.
    virtual std::optional<QString> AskOpenFileName(QWidget* parent,
                                                   const QString& currentFileName) = 0;
    // Opens the help file; false when nothing could open it.
    virtual bool OpenHelpFile(QWidget* parent, const QString& path) = 0;
    // Opens the file in a text editor without waiting for it; false when no
    // editor could be started.
    virtual bool OpenInTextEditor(const QString& path) = 0;
    // Opens the manual (an HTML page) in the default browser; false when
    // nothing could open it.
    virtual bool OpenManual(const QString& path) = 0;
};

// Windows: the help finder (WinHelp) and "notepad.exe"; other systems: the
// desktop's default application for the file. The manual opens in the
// default browser everywhere. File dialogs are Qt's own
// (the program turns the native ones off), in Japanese like the rest.
class SystemDesktop final : public DesktopServices {
  public:
    std::optional<QString> AskOpenFileName(QWidget* parent,
                                           const QString& currentFileName) override;
    bool OpenHelpFile(QWidget* parent, const QString& path) override;
    bool OpenInTextEditor(const QString& path) override;
    bool OpenManual(const QString& path) override;
};
