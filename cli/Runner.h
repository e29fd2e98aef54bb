#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <optional>

#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/CommandLine.h"
#include "cli/RunFacts.h"
#include "cli/SerialNumbers.h"
#include "cli/VerboseDevice.h"
#include "eeprom/EepromJobs.h"
#include "program/HexProgram.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shell/SettingsFile.h"

class Device;

namespace cli {

// What a command takes from outside before any Writer is opened, the same
// for every Writer it runs on: the board and the configuration word (from
// the settings file, the HEX file, --board and --config), and its input
// file, read and checked once.
struct Prepared {
    AppState state;
    std::optional<hexprogram::WritePlan> plan;  // write and verify
    std::optional<EepromBytes> eepromData;      // eeprom write
    QByteArray hexText;                         // the HEX file's text the plan was made of
    QString sha256;                             // of the input file, for the run log
    std::shared_ptr<SerialNumbers> serials;     // shared by every Writer of the run
};

// One command on one Writer: the settings and the input file made ready,
// the device made and decorated, the command's job run and its outcome
// shown. A run over many Writers makes one Runner per Writer, each in its
// own thread: nothing in it is shared but the request, which is only read.
class Runner {
  public:
    // `progress`: where the job's progress goes; nullptr for the terminal's
    // one updating line (or JSON lines with --progress=json). `stop`, when
    // given, ends a job at its next safe point once it is raised (Ctrl-C).
    Runner(const Request& request, const QString& settingsPath, Streams streams,
           LineProgress* progress = nullptr, const std::atomic<bool>* stop = nullptr);
    ~Runner();

    // Restores the board and, for the program-memory commands, the
    // configuration word from the settings file; reads and checks the
    // command's input file. kSuccess, or the exit code after the message.
    // `hexFile`, when given, is the HEX file's text already read (write
    // --watch reads each new version of the file itself).
    int Prepare(const hexprogram::FileText* hexFile = nullptr);
    const Prepared& prepared() const { return prepared_; }
    // What another Runner prepared: a run over many Writers prepares once.
    void setPrepared(const Prepared& prepared) { prepared_ = prepared; }
    // The serial numbers of an earlier run of the same command line (write
    // --watch): Prepare hands out the next ones instead of starting again.
    void shareSerials(std::shared_ptr<SerialNumbers> serials) {
        prepared_.serials = std::move(serials);
    }

    // The command on the device `choice` names, once prepared.
    int RunOn(const QString& choice);

    // The last message or result line, on one line: the table's message.
    const QString& lastSaid() const { return lastSaid_; }
    // Everything said on stderr, one line each.
    const QStringList& said() const { return said_; }
    // Stopped by Ctrl-C while writing: the chip holds part of the data.
    bool incomplete() const { return incomplete_; }

    // The Writer's id in the facts and the log; without it, the device
    // choice RunOn was given.
    void setWriterId(const QString& id) { writerId_ = id; }
    // The facts of the last RunOn (appended to --log when it was given).
    const RunFacts& facts() const { return facts_; }

  private:
    struct Command;
    static const Command& CommandOf(CommandId id);

    int RestoreSettings(bool withConfigWord);
    int PrepareHexText(const hexprogram::FileText& file);
    void SayWhyRefused(const hexprogram::FileText& file);
    // Saves `content` at `path`, or prints it on stdout for "-". kSuccess,
    // or kFileError after the reason.
    int SaveOutput(const QString& path, const QByteArray& content);
    int Stopped();

    int ProgramErase(JobEnv& env);
    int ProgramRead(JobEnv& env);
    int ProgramWrite(JobEnv& env);
    int ProgramVerify(JobEnv& env);
    int WholeBackup(JobEnv& env);
    int EepromPartVerify(JobEnv& env, const EepromPart& part);
    int WriteSerialNumber(JobEnv& env);
    int CheckRestoreMap();
    void LogRun(int* code, qint64 elapsedMs);
    int WholeRead(const EepromRead& read);
    int EepromReadOut(JobEnv& env);
    int EepromErase(JobEnv& env);
    int EepromSet(JobEnv& env);
    int EepromWrite(JobEnv& env);
    int ShowConfigWord(JobEnv& env);
    int ShowFirmwareVersion(JobEnv& env);

    int Finish(JobOutcome outcome);
    // A message line on stderr; a result line on stdout.
    void Say(const QString& line);
    void Out(const QString& line);
    int Fail(int code, const QString& message);

    const Request& request_;
    const QString file_;  // the HEX file of write and verify, the data file of eeprom write
    Streams streams_;
    SettingsFile settings_;
    SteadyClock clock_;
    Prepared prepared_;
    CliHost host_;
    std::unique_ptr<LineProgress> ownProgress_;
    std::mutex progressMutex_;
    LineProgress& progress_;
    const std::atomic<bool>* stop_;
    std::unique_ptr<Device> device_;
    VerboseDevice* watched_ = nullptr;  // device_ itself
    QString lastSaid_;
    QStringList said_;
    bool writing_ = false;  // a write of the chip is under way
    bool incomplete_ = false;
    QString writerId_;
    RunFacts facts_;
};

}  // namespace cli
