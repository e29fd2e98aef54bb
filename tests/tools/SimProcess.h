#pragma once

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The events of a qlarkw-sim trace file without their time stamps.
inline QStringList TraceEvents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty()) events << QString::fromUtf8(line).section(u' ', 1);
    }
    return events;
}

// qlarkw-sim run as its own process for a test: started with the given
// flags and environment, its pty path taken from its first line, stopped
// with SIGTERM when the test ends.
class SimProcess {
  public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    // Starts the simulator; QLARKW_SIM_* come from `env` only (nothing from
    // the test's own environment). `writers`: the pty paths to read, one a
    // line (--count).
    bool Start(const QStringList& args, const QStringList& env = {}, int writers = 1) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QLARKW_SIM_STATE", "QLARKW_SIM_TRACE", "QLARKW_SIM_FAULT"})
            environment.remove(QString::fromLatin1(name));
        for (const QString& item : env)
            environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(QLARKW_SIM), args);
        if (!process_.waitForStarted(10000)) return false;
        // The paths are the first lines; generous time for a loaded machine.
        paths_.clear();
        while (paths_.size() < writers) {
            while (!process_.canReadLine()) {
                if (!process_.waitForReadyRead(20000)) return false;
            }
            const QString path = QString::fromLocal8Bit(process_.readLine()).trimmed();
            if (path.isEmpty()) return false;
            paths_ << path;
        }
        path_ = paths_.first();
        return true;
    }

    // SIGTERM, then the exit status (-1 when it did not end normally).
    int Stop() {
        process_.terminate();
        return Wait();
    }
    int Wait() {
        if (!process_.waitForFinished(20000)) return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    // The peer vanishing: SIGKILL, no chance to clean up.
    void Kill() {
        process_.kill();
        process_.waitForFinished(20000);
    }
    const QString& path() const { return path_; }
    const QStringList& paths() const { return paths_; }

  private:
    QProcess process_;
    QString path_;
    QStringList paths_;
};
