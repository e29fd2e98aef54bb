#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "program/HexProgram.h"

class Clock;

// write --watch: waits for the next version of a HEX file that is worth
// writing. An assembler or an editor saves a file in pieces, or removes it
// and writes it anew; a version is taken only once it reads as a whole HEX
// file (every record valid, an end record) and has stayed the same for a
// moment, so a file caught half-way through a save is never written.
namespace cli {

struct WatchTiming {
    int64_t pollMs = 100;    // how often the file is looked at
    int64_t settleMs = 400;  // how long a version must stay the same
};

class FileWatch {
  public:
    FileWatch(QString path, Clock& clock, const std::atomic<bool>& stop, WatchTiming timing = {});

    // The first version of the file whose text differs from `last`, is a
    // whole HEX file and has not changed for settleMs; nothing once `stop`
    // is raised. `say` is told once about each settled version that is not
    // a whole HEX file, with the line and the reason.
    std::optional<hexprogram::FileText> Next(const QByteArray& last,
                                             const std::function<void(const QString&)>& say);

  private:
    QString path_;
    Clock& clock_;
    const std::atomic<bool>& stop_;
    WatchTiming timing_;
};

struct Streams;
struct Request;

// write --watch after the first write: waits for each new version of the
// HEX file (the first differs from `written`, the text written first) and
// hands it to `write`, which returns its exit code, until `stop` is raised;
// then kInterrupted.
int WatchAndRun(const Request& request, Streams streams, const std::atomic<bool>& stop,
                QByteArray written, const std::function<int(const hexprogram::FileText&)>& write);

// Why `file` is not a whole HEX file ("line 7: the checksum does not
// match"); empty when it is one.
QString WholeHexProblem(const hexprogram::FileText& file);

}  // namespace cli
