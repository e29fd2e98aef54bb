#include "windowbase/ActivationWatch.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace activationwatch {
namespace {

// A deactivation after which no window of the program is active means the
// program has lost the activation to another application; the activation
// that follows is the user's coming back.
class Watcher final : public QObject {
  public:
    explicit Watcher(QObject* parent) : QObject(parent) {}

    bool eventFilter(QObject* object, QEvent* event) override {
        if (!object->isWidgetType() || !static_cast<QWidget*>(object)->isWindow()) return false;
        if (event->type() == QEvent::WindowActivate) {
            current_ = static_cast<QWidget*>(object);
            fromOwn_ = !lost_;
            lost_ = false;
        } else if (event->type() == QEvent::WindowDeactivate && !QApplication::activeWindow()) {
            lost_ = true;
        }
        return false;
    }

    bool FromOwn(const QWidget& window) const { return current_ == &window && fromOwn_; }

  private:
    bool lost_ = false;          // the program has no active window since the last activation
    QPointer<QWidget> current_;  // the window the last activation went to
    bool fromOwn_ = false;       // ... and whether the program had the activation then
};

Watcher* g_watcher = nullptr;

}  // namespace

void Watch() {
    if (g_watcher || !qApp) return;
    g_watcher = new Watcher(qApp);
    qApp->installEventFilter(g_watcher);
    QObject::connect(g_watcher, &QObject::destroyed, []() { g_watcher = nullptr; });
}

bool FromOwnWindow(const QWidget& window) {
    return g_watcher && g_watcher->FromOwn(window);
}

}  // namespace activationwatch
