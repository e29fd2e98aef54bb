// The fault matrix: every job that talks to the Writer, run once without a
// fault to count its steps, then once for every fault at every one of those
// steps: a driver error on each read, nothing arriving for each read, a '?'
// and a wrong byte in place of each byte the Writer sends, each command
// refused with a '?' or a wrong byte (and not performed), the Writer
// unplugged at each device call, and a close that fails. Whatever happens,
// a job must end, close the Writer once for each open, never report a
// success it did not have, tell the user about a failure (unless its own
// rules keep it quiet), and leave every file but the read's target alone.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "UnattendedCheckView.h"
#include "config/ConfRegJobs.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/EepromJobs.h"
#include "link/ForwardingDevice.h"
#include "link/WriterLink.h"
#include "program/ProgramJobs.h"
#include "shared/AppState.h"
#include "shared/Clock.h"
#include "shared/Host.h"
#include "shell/FirmwareVersion.h"
#include "shell/StartupCheck.h"
#include "sim/SimDevice.h"

namespace {

// ---------------------------------------------------------------------------
// The faults.

enum class Kind {
    None,
    ReadError,
    Drop,
    NoBoardByte,
    WrongByte,
    NoBoardRefusal,
    WrongRefusal,
    Gone,
    CloseFails,
};

// What a line fault makes of a byte: neither data (bit 7 clear) nor a reply
// of any command.
constexpr uint8_t kWrongByte = 0x7E;  // '~'

struct Fault {
    Kind kind = Kind::None;
    int at = 0;  // the read, sent byte, command or device call it strikes, from 1

    // The fault as QLARKW_SIM_FAULT names it.
    QString Text() const {
        switch (kind) {
            case Kind::None:
                return {};
            case Kind::ReadError:
                return QStringLiteral("readerror=%1").arg(at);
            case Kind::Drop:
                return QStringLiteral("drop=%1").arg(at);
            case Kind::NoBoardByte:
                return QStringLiteral("byte=%1:3F").arg(at);
            case Kind::WrongByte:
                return QStringLiteral("byte=%1:7E").arg(at);
            case Kind::NoBoardRefusal:
                return QStringLiteral("reply=%1:3F").arg(at);
            case Kind::WrongRefusal:
                return QStringLiteral("reply=%1:7E").arg(at);
            case Kind::Gone:
                return QStringLiteral("gone=%1").arg(at);
            case Kind::CloseFails:
                return QStringLiteral("closefail");
        }
        return {};
    }
    bool ReplacesByte() const { return kind == Kind::NoBoardByte || kind == Kind::WrongByte; }
    uint8_t Replacement() const { return kind == Kind::NoBoardByte ? cmd::kNoBoard : kWrongByte; }
};

// The steps of a fault-free run, as the faults count them.
struct Steps {
    int reads = 0;
    int bytes = 0;     // bytes the Writer sent
    int commands = 0;  // command bytes the Writer received
    int calls = 0;     // device calls, opens and closes included
};

std::vector<Fault> FaultsAtEveryStep(const Steps& steps) {
    std::vector<Fault> faults;
    for (int n = 1; n <= steps.reads; ++n) {
        faults.push_back({Kind::ReadError, n});
        faults.push_back({Kind::Drop, n});
    }
    for (int n = 1; n <= steps.bytes; ++n) {
        faults.push_back({Kind::NoBoardByte, n});
        faults.push_back({Kind::WrongByte, n});
    }
    for (int n = 1; n <= steps.commands; ++n) {
        faults.push_back({Kind::NoBoardRefusal, n});
        faults.push_back({Kind::WrongRefusal, n});
    }
    for (int n = 1; n <= steps.calls; ++n) faults.push_back({Kind::Gone, n});
    faults.push_back({Kind::CloseFails, 0});
    return faults;
}

// ---------------------------------------------------------------------------
// The guard: a job that runs away is stopped by throwing this out of it.

struct Runaway {
    const char* why;
};

// Watches every call a job makes to the device and the host. Too many calls
// in a row without the virtual clock moving, or more virtual time than any
// job can take, and the job is stopped.
class Guard {
  public:
    explicit Guard(const Clock& clock) : clock_(clock) {}
    void Step() {
        const int64_t now = clock_.NowMs();
        if (now != last_) {
            last_ = now;
            stalled_ = 0;
        } else if (++stalled_ > kMaxStalledSteps) {
            throw Runaway{"loops without the clock moving"};
        }
        if (now > kMaxMs) throw Runaway{"runs for more than ten minutes"};
    }

  private:
    // A program read-out makes some 6,000 calls without a pause.
    static constexpr int kMaxStalledSteps = 100000;
    // A silent Writer's handshake takes 32 s, the start-up check gives up
    // after 15 s.
    static constexpr int64_t kMaxMs = 10 * 60 * 1000;

    const Clock& clock_;
    int64_t last_ = -1;
    int stalled_ = 0;
};

// The simulated Writer with the guard in front of it: every call is a step.
class GuardedDevice final : public ForwardingDevice {
  public:
    GuardedDevice(Device& inner, Guard& guard) : ForwardingDevice(&inner), guard_(guard) {}
    FtStatus OpenEx(const QByteArray& description) override {
        guard_.Step();
        return ForwardingDevice::OpenEx(description);
    }
    FtStatus Purge(uint32_t mask) override {
        guard_.Step();
        return ForwardingDevice::Purge(mask);
    }
    FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override {
        guard_.Step();
        return ForwardingDevice::SetTimeouts(readMs, writeMs);
    }
    FtStatus SetBaudRate(uint32_t baud) override {
        guard_.Step();
        return ForwardingDevice::SetBaudRate(baud);
    }
    FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override {
        guard_.Step();
        return ForwardingDevice::SetDataCharacteristics(wordLength, stopBits, parity);
    }
    FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override {
        guard_.Step();
        return ForwardingDevice::SetFlowControl(flow, xon, xoff);
    }
    FtStatus SetLatencyTimer(uint8_t ms) override {
        guard_.Step();
        return ForwardingDevice::SetLatencyTimer(ms);
    }
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        guard_.Step();
        return ForwardingDevice::Write(data, size, written);
    }
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override {
        guard_.Step();
        return ForwardingDevice::Read(data, size, received);
    }
    FtStatus Close() override {
        guard_.Step();
        return ForwardingDevice::Close();
    }

  private:
    Guard& guard_;
};

// A host on the virtual clock that counts the message boxes by icon,
// answers Yes to questions and names the read's target when asked.
class MatrixHost final : public Host {
  public:
    MatrixHost(VirtualClock& clock, Guard& guard, QString saveAs)
        : clock_(clock), guard_(guard), saveAs_(std::move(saveAs)) {}
    void Sleep(int ms) override {
        clock_.SleepMs(ms);
        guard_.Step();
    }
    void ProcessEvents() override { guard_.Step(); }
    MsgAnswer MessageBox(const QString&, const QString&, MsgIcon icon,
                         MsgButtons buttons) override {
        guard_.Step();
        ++shown_[icon];
        return buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    }
    std::optional<QString> AskSaveFileName(const QString&) override { return saveAs_; }

    int Shown(MsgIcon icon) const {
        const auto it = shown_.find(icon);
        return it == shown_.end() ? 0 : it->second;
    }
    int ShownInAll() const {
        int all = 0;
        for (const auto& [icon, count] : shown_) all += count;
        return all;
    }

  private:
    VirtualClock& clock_;
    Guard& guard_;
    QString saveAs_;
    std::map<MsgIcon, int> shown_;
};

// ---------------------------------------------------------------------------
// The views the jobs report to.

class LastTextView final : public ProgressView {
  public:
    void SetStatusText(const QString& text) override { last = text; }
    void SetProgress(int, int) override {}
    QString last;
};

class CellsView final : public EepromView {
  public:
    void SetBusy(bool) override {}
    void SetStatusText(const QString&) override {}
    void SetCell(int address, const QString& text) override { cells[address] = text; }
    std::map<int, QString> cells;
};

// ---------------------------------------------------------------------------
// The chip, the files and one run.

// A chip whose every word and byte differs from an erased one and from its
// neighbours, so that a read that slips or a write that goes astray shows.
ChipMemory KnownChip() {
    ChipMemory chip;
    for (int i = 0; i < ChipMemory::kProgramWords; ++i)
        chip.program[i] = static_cast<uint16_t>((0x1234 + i * 0x35) & memorymap::kWordMask);
    for (int i = 0; i < ChipMemory::kConfigWords; ++i)
        chip.config[i] = static_cast<uint16_t>(0x2A50 + i);
    chip.config[memorymap::kConfigWordIndex] = 0x3FF1;
    for (int i = 0; i < ChipMemory::kEepromBytes; ++i)
        chip.eeprom[i] = static_cast<uint8_t>(0x11 + i * 7);
    return chip;
}

// The EEPROM data file's bytes: address a holds a * 3.
std::array<uint8_t, memorymap::kEepromBytes> DataFileBytes() {
    std::array<uint8_t, memorymap::kEepromBytes> bytes{};
    for (int a = 0; a < memorymap::kEepromBytes; ++a) bytes[a] = static_cast<uint8_t>(a * 3);
    return bytes;
}

// The byte editor writes this value at this address.
constexpr int kEditedAddress = 0x12;
constexpr uint8_t kEditedValue = 0xA5;

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool Put(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// The files of the matrix in a folder of their own: the program to write
// (gputils' output for the sample program, with gaps between its records),
// the EEPROM data file, and the read's target, which holds an older file.
struct Files {
    Files() {
        hex = dir.filePath(QStringLiteral("blink.hex"));
        data = dir.filePath(QStringLiteral("eeprom.txt"));
        target = dir.filePath(QStringLiteral("qlark.hex"));
        hexText = Contents(QStringLiteral(QLARKW_SAMPLES "/blink.hex"));
        dataText = eepromfile::Format(DataFileBytes());
        ok = dir.isValid() && Put(hex, hexText) && Put(data, dataText) && Put(target, oldTarget);
    }
    QTemporaryDir dir;
    QString hex, data, target;
    QByteArray hexText, dataText;
    const QByteArray oldTarget = ":00000001FF\r\n";  // an older read-out's last line
    bool ok = false;
};

struct Rig {
    Rig(const Fault& fault, const ChipMemory& chip, const Files& files, bool trace)
        : host(clock, guard, files.target) {
        SimDevice::Options options;
        QString error;
        options.faults = *FaultPlan::Parse(fault.Text(), &error);
        if (trace) options.traceSink = [this](const QString& line) { wire << line; };
        sim = std::make_unique<SimDevice>(clock, std::move(options));
        sim->firmware().chip() = chip;
        device = std::make_unique<GuardedDevice>(*sim, guard);
        state.BoardMode = kBoardQLark2;
    }
    JobEnv env() { return JobEnv{*device, host, state}; }
    const ChipMemory& chip() const { return sim->firmware().chip(); }

    VirtualClock clock;
    Guard guard{clock};
    MatrixHost host;
    AppState state;
    QStringList wire;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<GuardedDevice> device;
};

// What one run of a job gave: whether it reported success, and what is
// wrong with what it reported (empty when nothing is).
struct Run {
    bool done = false;
    QString wrong;
};

QString Hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The cells a read of the EEPROM filled must show the chip, from address 0
// on; all 64 of them unless the read may end early.
QString WrongCells(const std::map<int, QString>& cells, const ChipMemory& chip, bool mayEndEarly) {
    int address = 0;
    for (const auto& [cell, text] : cells) {
        if (cell != address) return QStringLiteral("cell %1 filled out of order").arg(cell);
        if (text != Hex2(chip.eeprom[cell]))
            return QStringLiteral("cell %1 shows %2, the chip holds %3")
                .arg(cell)
                .arg(text, Hex2(chip.eeprom[cell]));
        ++address;
    }
    if (address < memorymap::kEepromBytes && !mayEndEarly)
        return QStringLiteral("only %1 cells read").arg(address);
    return {};
}

ProgramImage ImageOf(const ChipMemory& chip) {
    ProgramImage image;
    image.program = chip.program;
    image.config = chip.config;
    return image;
}

// ---------------------------------------------------------------------------
// The jobs.

struct Job {
    const char* name;
    // The chip after a success, from the chip before; nothing for a job
    // that only reads, which must leave the chip alone whatever happens.
    std::function<ChipMemory(ChipMemory)> changes = nullptr;
    // A success is told with one information box.
    bool tellsSuccess = false;
    // Failures of its own exchange may be told and the job still succeed
    // (the start-up check tells each failed poll and polls on).
    bool toldFailureThenSuccess = false;
    // Never shows a message (the firmware query: the About box shows its
    // notice instead).
    bool quiet = false;
    // Saves the read-out in the read's target.
    bool savesReadOut = false;
    std::function<Run(Rig&, const Files&, const Fault&, const Steps&)> run;
};

const std::vector<Job>& Jobs() {
    static const std::vector<Job> jobs = {
        {.name = "handshake",
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 if (OpenWriter(*r.device, r.host, r.state)) return Run{};
                 const bool failed = HandshakeWriter(*r.device, r.host, r.state);
                 r.device->Close();
                 return Run{!failed, {}};
             }},
        {.name = "program write",
         .changes =
             [](ChipMemory chip) {
                 // The sample program as gputils assembled it; the configuration
                 // word of the file is not sent, ConfigWord's low bits are.
                 const std::pair<int, uint16_t> words[] = {
                     {0x000, 0x2810}, {0x010, 0x1683}, {0x011, 0x0186},
                     {0x012, 0x1283}, {0x013, 0x0A86}, {0x014, 0x2813},
                     {0x120, 0x0782}, {0x121, 0x3455}, {0x122, 0x34AA}};
                 for (const auto& [address, word] : words) chip.program[address] = word;
                 chip.config[memorymap::kConfigWordIndex] = 0x3F80 | AppState::kDefaultConfigWord;
                 return chip;
             },
         .tellsSuccess = true,
         .run =
             [](Rig& r, const Files& files, const Fault&, const Steps&) {
                 LastTextView view;
                 auto env = r.env();
                 return Run{WritePrgComm(env, files.hex, view) == JobOutcome::Done, {}};
             }},
        {.name = "program read",
         .tellsSuccess = true,
         .savesReadOut = true,
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 LastTextView view;
                 auto env = r.env();
                 return Run{ReadPrgComm(env, view) == JobOutcome::Done, {}};
             }},
        {.name = "program erase",
         .changes =
             [](ChipMemory chip) {
                 chip.program.fill(ChipMemory::kBlankWord);
                 return chip;
             },
         .tellsSuccess = true,
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 auto env = r.env();
                 return Run{ErasePrgComm(env) == JobOutcome::Done, {}};
             }},
        {.name = "verify's read-out",
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 LastTextView view;
                 ProgramImage image;
                 auto env = r.env();
                 Run run{ReadProgramMemory(env, view, &image) == JobOutcome::Done, {}};
                 const ProgramImage chip = ImageOf(r.chip());
                 if (run.done && (image.program != chip.program || image.config != chip.config))
                     run.wrong = QStringLiteral("the image read differs from the chip");
                 return run;
             }},
        {.name = "start-up check",
         .toldFailureThenSuccess = true,
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 UnattendedCheckView view(r.clock, r.state);
                 r.state.StartupCheckState = startupcheck::kRunning;
                 const StartupCheckResult result =
                     StartupWriterCheck(*r.device, r.host, r.state, view);
                 Run run{result == StartupCheckResult::Answered, {}};
                 const int16_t state = result == StartupCheckResult::NotOpened
                                           ? startupcheck::kNotOpened
                                           : startupcheck::kDone;
                 if (result == StartupCheckResult::Abandoned)
                     run.wrong = QStringLiteral("abandoned, though nobody closed the dialog");
                 else if (r.state.StartupCheckState != state)
                     run.wrong =
                         QStringLiteral("StartupCheckState %1").arg(r.state.StartupCheckState);
                 return run;
             }},
        {.name = "firmware query",
         .quiet = true,
         .run =
             [](Rig& r, const Files&, const Fault& f, const Steps& steps) {
                 const std::optional<QString> version =
                     QueryFirmwareVersion(*r.device, r.host, r.state);
                 // The Writer sends the digits "108" and its 'a'. The digits are
                 // taken as they come: one replaced on the line is shown so.
                 QByteArray digits = "108";
                 if (f.ReplacesByte() && f.at < steps.bytes)
                     digits[f.at - 1] = static_cast<char>(f.Replacement());
                 const QString expected = QString::fromLatin1(digits.left(1) + '.' + digits.mid(1));
                 Run run{version.has_value(), {}};
                 if (version && *version != expected)
                     run.wrong =
                         QStringLiteral("version %1, the Writer's is %2").arg(*version, expected);
                 return run;
             }},
        {.name = "EEPROM read",
         .run =
             [](Rig& r, const Files&, const Fault& f, const Steps&) {
                 CellsView view;
                 auto env = r.env();
                 const EepromRead read = ReadEeprom(env, view);
                 Run run{read.outcome == JobOutcome::Done, {}};
                 if (!run.done) return run;
                 // A byte that is not data ends the read early and quietly: the
                 // cells read so far show their values.
                 run.wrong = WrongCells(view.cells, r.chip(), f.ReplacesByte());
                 if (run.wrong.isEmpty() && read.count != static_cast<int>(view.cells.size()))
                     run.wrong = QStringLiteral("%1 bytes returned, %2 cells shown")
                                     .arg(read.count)
                                     .arg(view.cells.size());
                 for (int a = 0; a < read.count && run.wrong.isEmpty(); ++a) {
                     if (read.bytes[a] != r.chip().eeprom[a])
                         run.wrong = QStringLiteral("byte %1 returned wrong").arg(a);
                 }
                 return run;
             }},
        {.name = "EEPROM erase",
         .changes =
             [](ChipMemory chip) {
                 chip.eeprom.fill(ChipMemory::kBlankByte);
                 return chip;
             },
         .run =
             [](Rig& r, const Files&, const Fault& f, const Steps&) {
                 CellsView view;
                 auto env = r.env();
                 Run run{EraseEeprom(env, view) == JobOutcome::Done, {}};
                 // The read after the erase shows what the chip now holds.
                 if (run.done) run.wrong = WrongCells(view.cells, r.chip(), f.ReplacesByte());
                 return run;
             }},
        {.name = "EEPROM byte write",
         .changes =
             [](ChipMemory chip) {
                 chip.eeprom[kEditedAddress] = kEditedValue;
                 return chip;
             },
         .run =
             [](Rig& r, const Files&, const Fault&, const Steps&) {
                 auto env = r.env();
                 return Run{WriteEepromByte(env, kEditedAddress, kEditedValue) == JobOutcome::Done,
                            {}};
             }},
        {.name = "EEPROM file write",
         .changes =
             [](ChipMemory chip) {
                 chip.eeprom = DataFileBytes();
                 return chip;
             },
         .tellsSuccess = true,
         .run =
             [](Rig& r, const Files& files, const Fault&, const Steps&) {
                 LastTextView view;
                 auto env = r.env();
                 return Run{WriteEepromFile(env, files.data, view) == JobOutcome::Done, {}};
             }},
        {.name = "configuration read",
         .run =
             [](Rig& r, const Files&, const Fault& f, const Steps& steps) {
                 LastTextView view;
                 auto env = r.env();
                 const ConfRegRead read = ReadConfRegComm(env, view);
                 Run run{read.outcome == JobOutcome::Done, {}};
                 if (!run.done) return run;
                 // The Writer's last byte is the configuration byte; it is not
                 // a seven-bit pair's, so a byte replaced on the line is shown
                 // as it came.
                 const uint8_t expected =
                     f.ReplacesByte() && f.at == steps.bytes
                         ? f.Replacement()
                         : static_cast<uint8_t>(0x80 | (r.chip().configWord() & 0x7F));
                 if (read.configByte != expected)
                     run.wrong = QStringLiteral("configuration byte %1, the chip's is %2")
                                     .arg(Hex2(read.configByte.value_or(0)), Hex2(expected));
                 else if (view.last != ConfRegDisplayText(expected))
                     run.wrong = QStringLiteral("the display does not show the configuration byte");
                 return run;
             }},
    };
    return jobs;
}

// ---------------------------------------------------------------------------
// One case and its checks.

struct CaseResult {
    bool done = false;
    QStringList problems;
    Steps steps;
    QStringList wire;
};

CaseResult RunCase(const Job& job, const Fault& fault, const ChipMemory& before, const Files& files,
                   const Steps& steps, bool trace) {
    CaseResult result;
    QStringList& problems = result.problems;
    Rig rig(fault, before, files, trace);
    Run run;
    try {
        run = job.run(rig, files, fault, steps);
    } catch (const Runaway& runaway) {
        problems << QStringLiteral("the job %1").arg(QLatin1String(runaway.why));
    }
    result.done = run.done;
    result.wire = rig.wire;
    result.steps = {rig.sim->readCount(), rig.sim->firmware().sentCount(),
                    rig.sim->firmware().commandCount(), rig.sim->callCount()};

    // Closed once for each open.
    if (rig.sim->isOpen()) problems << QStringLiteral("the Writer is left open");
    if (rig.sim->closeCount() != rig.sim->openCount())
        problems << QStringLiteral("opened %1 times, closed %2 times")
                        .arg(rig.sim->openCount())
                        .arg(rig.sim->closeCount());
    if (rig.state.QuietOpen) problems << QStringLiteral("QuietOpen is left set");

    // Told, and told right.
    const int information = rig.host.Shown(MsgIcon::Information);
    const int critical = rig.host.Shown(MsgIcon::Critical);
    if (job.quiet) {
        if (rig.host.ShownInAll() > 0) problems << QStringLiteral("a message was shown");
    } else if (run.done) {
        if (information != (job.tellsSuccess ? 1 : 0))
            problems << QStringLiteral("success told %1 times").arg(information);
        if (critical > 0 && !job.toldFailureThenSuccess)
            problems << QStringLiteral("success after %1 failure messages").arg(critical);
    } else {
        if (information > 0) problems << QStringLiteral("a failure told as a success");
        if (critical == 0) problems << QStringLiteral("a failure not told");
    }
    if (!run.wrong.isEmpty()) problems << QStringLiteral("wrong result: ") + run.wrong;

    // The chip: as a fault-free run leaves it after a success; untouched by
    // a job that only reads.
    if (!job.changes) {
        if (rig.chip() != before) problems << QStringLiteral("a read changed the chip");
    } else if (run.done && rig.chip() != job.changes(before)) {
        problems << QStringLiteral("success, but the chip is not as a fault-free run leaves it");
    }

    // The files: the inputs never change, the target only with a read that
    // succeeded, and nothing is left beside them.
    if (Contents(files.hex) != files.hexText) problems << QStringLiteral("the HEX file changed");
    if (Contents(files.data) != files.dataText) problems << QStringLiteral("the data file changed");
    const QByteArray target = Contents(files.target);
    const QByteArray expectedTarget =
        job.savesReadOut && run.done ? FormatReadOutFile(ImageOf(rig.chip())) : files.oldTarget;
    if (target != expectedTarget)
        problems << (target == files.oldTarget ? QStringLiteral("the read-out was not saved")
                     : run.done && job.savesReadOut
                         ? QStringLiteral("the read-out saved differs from the chip")
                         : QStringLiteral("the read's target is damaged"));
    if (target != files.oldTarget) Put(files.target, files.oldTarget);
    const QStringList inFolder = QDir(files.dir.path()).entryList(QDir::Files | QDir::Hidden);
    if (inFolder != QStringList({"blink.hex", "eeprom.txt", "qlark.hex"}))
        problems << QStringLiteral("files in the folder: ") + inFolder.join(u' ');
    return result;
}

TEST(FaultMatrix, EveryJobWithEveryFaultAtEveryStep) {
    const Files files;
    ASSERT_TRUE(files.ok);
    ASSERT_FALSE(files.hexText.isEmpty());
    const ChipMemory before = KnownChip();
    constexpr int kCasesShown = 20;  // failing cases described in full
    int cases = 0;
    int failing = 0;
    QStringList failingPerJob;
    QStringList casesPerJob;
    for (const Job& job : Jobs()) {
        const int casesBefore = cases;
        const int failingBefore = failing;
        // A fault-free run must succeed, and counts the steps.
        const CaseResult clean = RunCase(job, Fault{}, before, files, Steps{}, false);
        ++cases;
        ASSERT_TRUE(clean.problems.isEmpty())
            << job.name
            << " without a fault: " << clean.problems.join(QStringLiteral("; ")).toStdString();
        ASSERT_TRUE(clean.done) << job.name << " does not succeed without a fault";
        ASSERT_GT(clean.steps.reads, 0) << job.name;
        for (const Fault& fault : FaultsAtEveryStep(clean.steps)) {
            const CaseResult result = RunCase(job, fault, before, files, clean.steps, false);
            ++cases;
            if (result.problems.isEmpty()) continue;
            if (++failing > kCasesShown) continue;
            // Once more with the trace, to show the wire's last lines.
            const QStringList wire = RunCase(job, fault, before, files, clean.steps, true).wire;
            ADD_FAILURE() << job.name << " with " << fault.Text().toStdString() << ": "
                          << result.problems.join(QStringLiteral("; ")).toStdString()
                          << "\n  wire, last lines: "
                          << wire.mid(std::max<qsizetype>(0, wire.size() - 14))
                                 .join(QStringLiteral(" | "))
                                 .toStdString();
        }
        casesPerJob << QStringLiteral("%1 %2").arg(job.name).arg(cases - casesBefore);
        if (failing > failingBefore)
            failingPerJob << QStringLiteral("%1: %2").arg(job.name).arg(failing - failingBefore);
    }
    EXPECT_EQ(failing, 0) << "failing cases (the first " << kCasesShown << " are described): "
                          << failingPerJob.join(QStringLiteral(", ")).toStdString();
    std::printf("fault matrix: %d cases over %zu jobs\n  (%s)\n", cases, Jobs().size(),
                casesPerJob.join(QStringLiteral(", ")).toUtf8().constData());
    RecordProperty("cases", cases);
    RecordProperty("jobs", static_cast<int>(Jobs().size()));
}

}  // namespace
