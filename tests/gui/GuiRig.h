#pragma once

// The desktop program's windows on the simulated Writer and the virtual
// clock: a recording Host, dialogs driven by scripts instead of a user, a
// desktop that answers from the test, and a temporary program directory.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "SimFixture.h"
#include "desktop/DesktopServices.h"
#include "desktop/FormMain.h"
#include "desktop/ShellContext.h"
#include "windowbase/ModalRunner.h"

// The test host with hooks that run when a job lets events through or asks
// a question, so a test can act "while" a job runs (close a dialog, for
// example).
class HookHost final : public Host {
  public:
    explicit HookHost(TestHost& inner) : inner_(inner) {}
    void Sleep(int ms) override { inner_.Sleep(ms); }
    void ProcessEvents() override {
        inner_.ProcessEvents();
        if (onEvents) onEvents();
    }
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override {
        if (onMessage) onMessage();
        return inner_.MessageBox(text, caption, icon, buttons);
    }
    std::optional<QString> AskSaveFileName(const QString& proposed) override {
        return inner_.AskSaveFileName(proposed);
    }
    std::function<void()> onEvents;
    std::function<void()> onMessage;

  private:
    TestHost& inner_;
};

// Modal dialogs are shown and then handed to the script for their
// objectName; a dialog the script leaves open is cancelled.
class ScriptedRunner final : public ModalRunner {
  public:
    int RunModal(QDialog& dialog) override {
        dialog.show();
        shown << (dialog.objectName() == u"frmReadWrite"
                      ? dialog.objectName() + u':' + dialog.windowTitle()
                      : dialog.objectName());
        const auto script = scripts.find(dialog.objectName());
        if (script != scripts.end()) script->second(dialog);
        if (dialog.isVisible()) dialog.reject();
        return dialog.result();
    }
    std::map<QString, std::function<void(QDialog&)>> scripts;
    QStringList shown;
};

class FakeDesktop final : public DesktopServices {
  public:
    std::optional<QString> AskOpenFileName(QWidget*, const QString& current) override {
        openCalls << current;
        return openAnswer;
    }
    bool OpenHelpFile(QWidget*, const QString& path) override {
        helpCalls << path;
        return helpWorks;
    }
    bool OpenInTextEditor(const QString& path) override {
        editorCalls << path;
        return editorWorks;
    }
    bool OpenManual(const QString& path) override {
        manualCalls << path;
        return true;
    }
    QStringList manualCalls;
    std::optional<QString> openAnswer;
    QStringList openCalls;
    bool helpWorks = true;
    QStringList helpCalls;
    bool editorWorks = true;
    QStringList editorCalls;
};

template <typename T>
T* Find(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

inline void Click(QWidget& window, const char* name) {
    QPushButton* button = Find<QPushButton>(window, name);
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

// What a user sees of `window` is whole: every control that is not hidden
// lies inside its parent and clear of its siblings, and every label's and
// button's text fits the control.
inline void ExpectEveryControlWholeAndApart(QWidget& window) {
    QList<QWidget*> parents = window.findChildren<QWidget*>();
    parents.prepend(&window);
    for (QWidget* parent : parents) {
        QList<QWidget*> shown;
        for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!child->isHidden() && !child->isWindow()) shown << child;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const QString name = shown[i]->objectName();
            EXPECT_TRUE(parent->rect().contains(shown[i]->geometry())) << name.toStdString();
            for (qsizetype j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << name.toStdString() << " / " << shown[j]->objectName().toStdString();
            QString text;
            if (auto* label = qobject_cast<QLabel*>(shown[i]); label && !label->wordWrap())
                text = label->text();
            else if (auto* button = qobject_cast<QAbstractButton*>(shown[i]))
                text = QString(button->text()).remove(u'&');
            EXPECT_LE(shown[i]->fontMetrics().horizontalAdvance(text), shown[i]->width())
                << name.toStdString();
        }
    }
}

// The visible top-level window called `name`, or null.
template <typename T = QWidget>
T* VisibleWindow(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->objectName() == QLatin1String(name)) return qobject_cast<T*>(w);
    }
    return nullptr;
}

// Lets the window system's events (activation) through and deletes the
// windows that were closed for good.
inline void Settle() {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The user brings `window` to the front.
inline void Activate(QWidget& window) {
    window.activateWindow();
    Settle();
}

struct GuiRig {
    explicit GuiRig(FaultPlan faults = {}) : sim(std::move(faults)) {
        context = std::make_unique<ShellContext>(ShellContext{
            sim.clock, *sim.device, host, sim.state, runner, desktop, commonDialog, dir.path(),
            QString(), QDir(dir.path()).filePath(QStringLiteral("instance.lock")),
            [this]() { ++quitCount; }});
    }

    // The program directory's settings file.
    QString SettingsPath() const { return QDir(dir.path()).filePath(QStringLiteral("qlarkw.ini")); }
    void WriteSettings(const QByteArray& content) const {
        QFile file(SettingsPath());
        if (file.open(QIODevice::WriteOnly)) file.write(content);
    }
    QByteArray Settings() const {
        QFile file(SettingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    QString WriteFile(const QString& name, const QByteArray& content) const {
        const QString path = QDir(dir.path()).filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write(content);
        return QDir::toNativeSeparators(path);
    }

    // The main window after its start-up with `commandLine`.
    std::unique_ptr<FormMain> Start(const QString& commandLine = QString()) {
        context->commandLine = commandLine;
        auto form = std::make_unique<FormMain>(*context);
        loadResult = form->FormLoad();
        return form;
    }

    QStringList MessageTexts() const {
        QStringList list;
        for (const auto& m : sim.host.messages) list << m.text;
        return list;
    }

    SimRig sim;
    HookHost host{sim.host};
    ScriptedRunner runner;
    FakeDesktop desktop;
    CommonDialogState commonDialog;
    QTemporaryDir dir;
    int quitCount = 0;
    FormMain::LoadResult loadResult = FormMain::LoadResult::Waiting;
    std::unique_ptr<ShellContext> context;
};

// A small HEX file: the words 0x3001 and 0x280A at address 0, the
// configuration word 0x3FF9 at 0x2007, and the end record.
inline const QByteArray kTwoWordHex =
    ":0400000001300A2899\r\n"
    ":02400E00F93F78\r\n"
    ":00000001FF\r\n";
