// Every job that talks to the Writer, fed replies from the fuzz input.
//
// Input: byte 0 chooses the job (bits 0..5), the board (bit 6: Q-LARK) and
// the answer to questions (bit 7: No); byte 1 names a read that fails with a
// driver error (bits 0..6, 0 for none) and makes the close fail (bit 7);
// the rest is what the Writer sends, byte after byte, whatever it is asked.
// The seeds are the simulated Writer's replies to each job (the "r" lines of
// QLARKW_SIM_TRACE for the matching qlarkw-cli command on the sim backend)
// behind those two bytes.
//
// Whatever the replies, a job ends, closes the Writer once for each open and
// never uses it closed; what it hands back stays within its bounds.
#include <QFile>
#include <array>
#include <functional>

#include "FuzzSupport.h"
#include "UnattendedCheckView.h"
#include "config/ConfRegJobs.h"
#include "eeprom/EepromDataFile.h"
#include "eeprom/EepromJobs.h"
#include "link/WriterLink.h"
#include "program/ProgramJobs.h"
#include "shared/AppState.h"
#include "shared/IntelHex.h"
#include "shell/FirmwareVersion.h"
#include "shell/StartupCheck.h"

namespace {

using fuzz::Require;

// The files the jobs take: a program with a gap (so the write skips) and a
// configuration block, and an EEPROM data file.
struct Files {
    Files() {
        QByteArray hexText;
        std::array<uint16_t, 24> words{};
        for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint16_t>(0x3000 + i);
        hex::AppendWordRecords(hexText, 0, words);
        hex::AppendWordRecords(hexText, 0x100, std::span(words).first(5));
        const std::array<uint16_t, 8> config{0, 0, 0, 0, 0, 0, 0, 0x3FF1};
        hex::AppendWordRecords(hexText, 0x2000, config);
        hexText += hex::EndRecord() + "\r\n";
        std::array<uint8_t, memorymap::kEepromBytes> bytes{};
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 3);
        Require(Put(hex, hexText) && Put(data, eepromfile::Format(bytes)),
                "the job files are made");
    }
    static bool Put(const QString& path, const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
    const QString hex = fuzz::ScratchPath(QStringLiteral("program.hex"));
    const QString data = fuzz::ScratchPath(QStringLiteral("eeprom.txt"));
    const QString readOut = fuzz::ScratchPath(QStringLiteral("qlark.hex"));
};

class CellsView final : public EepromView {
  public:
    void SetBusy(bool) override {}
    void SetStatusText(const QString&) override {}
    void SetCell(int address, const QString& text) override {
        Require(address >= 0 && address < memorymap::kEepromBytes, "cells are 0 to 63");
        Require(text.size() == 2, "a cell shows two digits");
    }
};

struct Rig {
    Rig(MsgAnswer answer, const QString& saveAs, fuzz::ReplyDevice::Script script)
        : host(clock, guard, answer, saveAs), device(clock, guard, std::move(script)) {}
    VirtualClock clock;
    fuzz::Guard guard{clock};
    fuzz::FuzzHost host;
    fuzz::ReplyDevice device;
    AppState state;
    NullProgressView view;
    JobEnv env() { return JobEnv{device, host, state}; }
};

using Job = std::function<void(Rig&, const Files&)>;

const std::array<Job, 12>& Jobs() {
    static const std::array<Job, 12> jobs = {
        [](Rig& r, const Files&) {
            if (OpenWriter(r.device, r.host, r.state)) return;
            HandshakeWriter(r.device, r.host, r.state);
            r.device.Close();
        },
        [](Rig& r, const Files& f) {
            auto env = r.env();
            WritePrgComm(env, f.hex, r.view);
        },
        [](Rig& r, const Files&) {
            auto env = r.env();
            ReadPrgComm(env, r.view);
        },
        [](Rig& r, const Files&) {
            auto env = r.env();
            ErasePrgComm(env);
        },
        [](Rig& r, const Files&) {  // verify's read-out
            auto env = r.env();
            ProgramImage image;
            if (ReadProgramMemory(env, r.view, &image) != JobOutcome::Done) return;
            for (const uint16_t word : image.program)
                Require(word <= memorymap::kWordMask, "a word read is 14 bits");
        },
        [](Rig& r, const Files&) {
            UnattendedCheckView view(r.clock, r.state);
            r.state.StartupCheckState = startupcheck::kRunning;
            const StartupCheckResult result = StartupWriterCheck(r.device, r.host, r.state, view);
            Require(result != StartupCheckResult::Abandoned,
                    "the check is abandoned only by the user");
            Require(r.state.StartupCheckState != startupcheck::kRunning, "the check ends");
        },
        [](Rig& r, const Files&) {
            const std::optional<QString> version = QueryFirmwareVersion(r.device, r.host, r.state);
            Require(!version || (version->size() == 4 && version->at(1) == u'.'),
                    "a firmware version reads \"1.08\"");
            Require(r.host.messages() == 0, "the firmware query is quiet");
        },
        [](Rig& r, const Files&) {
            CellsView view;
            auto env = r.env();
            const EepromRead read = ReadEeprom(env, view);
            Require(read.count >= 0 && read.count <= memorymap::kEepromBytes,
                    "an EEPROM read brings 0 to 64 bytes");
        },
        [](Rig& r, const Files&) {
            CellsView view;
            auto env = r.env();
            EraseEeprom(env, view);
        },
        [](Rig& r, const Files&) {
            auto env = r.env();
            WriteEepromByte(env, 0x12, 0xA5);
        },
        [](Rig& r, const Files& f) {
            auto env = r.env();
            WriteEepromFile(env, f.data, r.view);
        },
        [](Rig& r, const Files&) {
            auto env = r.env();
            ReadConfRegComm(env, r.view);
        },
    };
    return jobs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Files files;
    if (size < 2) return 0;
    const size_t job = (data[0] & 0x3F) % Jobs().size();
    fuzz::ReplyDevice::Script script;
    script.failingRead = data[1] & 0x7F;
    script.closeFails = (data[1] & 0x80) != 0;
    script.replies = fuzz::Bytes(data + 2, size - 2);

    Rig rig((data[0] & 0x80) ? MsgAnswer::No : MsgAnswer::Yes, files.readOut, std::move(script));
    rig.state.BoardMode = (data[0] & 0x40) ? kBoardQLark : kBoardQLark2;
    Jobs()[job](rig, files);
    Require(!rig.device.isOpen(), "a job closes the Writer before it ends");
    Require(rig.device.closes() == rig.device.opens(), "the Writer is closed once for each open");
    return 0;
}
