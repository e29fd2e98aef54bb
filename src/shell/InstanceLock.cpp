#include "shell/InstanceLock.h"

#include <QDir>

InstanceLock::InstanceLock(const QString& path) : lock_(path) {
    // A running instance holds the lock however long it runs.
    lock_.setStaleLockTime(0);
}

bool InstanceLock::TryLock() {
    return lock_.isLocked() || lock_.tryLock(0);
}

QString DefaultInstanceLockPath() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    QString safe;
    for (const QChar c : user) safe.append(c.isLetterOrNumber() ? c : QChar(u'_'));
    return QDir(QDir::tempPath())
        .filePath(safe.isEmpty() ? QStringLiteral("qlarkw.lock")
                                 : QStringLiteral("qlarkw-%1.lock").arg(safe));
}
