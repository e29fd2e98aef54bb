#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <initializer_list>
#include <vector>

#include "SimFixture.h"
#include "jobs/JobEnv.h"
#include "resources/Texts.h"
#include "shared/IntelHex.h"

// A data record line with a correct checksum.
inline QByteArray DataRecord(uint16_t byteAddress, std::vector<uint8_t> bytes) {
    return hex::FormatRecord(byteAddress, 0x00, bytes);
}

// Joins lines with CR LF, the last line ended too.
inline QByteArray HexText(std::initializer_list<QByteArray> lines) {
    QByteArray text;
    for (const QByteArray& line : lines) text += line + "\r\n";
    return text;
}

using texts::TwoLines;

// A simulated Writer and a folder for the files of one job.
struct JobRig : SimRig {
    using SimRig::SimRig;

    QString WriteFile(const QString& name, const QByteArray& content) {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }
    QByteArray ReadFile(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The wire after the handshake ("w 42", "r 61").
    QStringList JobWire() const { return Wire().mid(2); }
    JobEnv env() { return JobEnv{*device, host, state}; }

    QTemporaryDir dir;
    RecordingView view;
};

inline FaultPlan Refuse(std::initializer_list<int> commands, uint8_t reply = 'x') {
    FaultPlan plan;
    for (const int n : commands) plan.refuseCommand[n] = reply;
    return plan;
}
