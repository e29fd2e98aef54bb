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

// A program's output as text. A Windows program writes its line ends as
// CR LF; the tests compare them as the other systems write them.
inline QString ProgramText(const QByteArray& bytes) {
    QString text = QString::fromUtf8(bytes);
#ifdef Q_OS_WIN
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return text;
}

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
    run.out = ProgramText(process.readAllStandardOutput());
    run.err = ProgramText(process.readAllStandardError());
    return run;
}
