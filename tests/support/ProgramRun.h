#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of one of our programs (qlarkw-cli, srec_cat...) to its end.
struct ProgramRun {
    int exitCode = -1;  // -1: it crashed or did not end within two minutes
    QString out;
    QString err;
};

// Runs `program` with `args` in `workDir`, with QLARKW_DEVICE set to
// `device` when it is not empty.
inline ProgramRun RunProgram(const QString& program, const QStringList& args,
                             const QString& device = {}, const QString& workDir = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!device.isEmpty()) env.insert(QStringLiteral("QLARKW_DEVICE"), device);
    process.setProcessEnvironment(env);
    if (!workDir.isEmpty()) process.setWorkingDirectory(workDir);
    process.start(program, args);
    ProgramRun run;
    if (!process.waitForFinished(120000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
