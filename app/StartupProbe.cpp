#include "app/StartupProbe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

// The process's peak resident memory so far, in kB (0 where the system does
// not tell it).
long PeakMemoryKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

}  // namespace

StartupProbe::StartupProbe() {
    sinceMain_.start();
}

void StartupProbe::Install() {
    if (!qEnvironmentVariableIsSet(kEnv)) return;
    exitAfter_ = qEnvironmentVariable(kEnv) == u"exit";
    QCoreApplication::instance()->installEventFilter(this);
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
    if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
        seen_ = true;
        // Told at once: the program may pause before its next events.
        std::fprintf(stderr, "qlarkw: first paint %lld ms after main, peak memory %ld kB\n",
                     static_cast<long long>(sinceMain_.elapsed()), PeakMemoryKb());
        std::fflush(stderr);
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (exitAfter_) std::_Exit(0);
                QCoreApplication::instance()->removeEventFilter(this);
            },
            Qt::QueuedConnection);
    }
    return false;
}
