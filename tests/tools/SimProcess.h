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
    // the test's own environment).
    bool Start(const QStringList& args, const QStringList& env = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QLARKW_SIM_STATE", "QLARKW_SIM_TRACE", "QLARKW_SIM_FAULT"})
            environment.remove(QString::fromLatin1(name));
        for (const QString& item : env)
            environment.insert(item.section(u'=', 0, 0), item.section(u'=', 1));
        process_.setProcessEnvironment(environment);
        process_.start(QStringLiteral(QLARKW_SIM), args);
        if (!process_.waitForStarted(10000)) return false;
        // The path is the first line; generous time for a loaded machine.
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(20000)) return false;
        }
        path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
        return !path_.isEmpty();
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

  private:
    QProcess process_;
    QString path_;
};
