#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>

#include "link/protocol/MemoryMap.h"

// The PIC on the target board, as the Writer programs it.
struct ChipMemory {
    static constexpr int kProgramWords = memorymap::kProgramWords;
    static constexpr int kConfigWords = memorymap::kConfigWords;  // words 0x2000..0x2007
    static constexpr int kEepromBytes = memorymap::kEepromBytes;
    static constexpr uint16_t kBlankWord = memorymap::kBlankWord;
    static constexpr uint8_t kBlankByte = memorymap::kBlankByte;

    std::array<uint16_t, kProgramWords> program;
    std::array<uint16_t, kConfigWords> config;
    std::array<uint8_t, kEepromBytes> eeprom;

    ChipMemory() { Blank(); }
    void Blank() {
        program.fill(kBlankWord);
        config.fill(kBlankWord);
        eeprom.fill(kBlankByte);
    }
    uint16_t configWord() const { return config[memorymap::kConfigWordIndex]; }
    bool operator==(const ChipMemory&) const = default;
};

// Faults the simulated Writer can be told to show, as given by
// QLARKW_SIM_FAULT: a comma-separated list of
//   noboard=N        no target board on connector N (1 = Q-LARK/CN3, 2 = Q-LARK2/CN2)
//   nopower=N        the board on connector N has no power (answers like noboard)
//   silent           the Writer never answers
//   reply=N:XX       the N-th command byte (1-based) is refused with reply XX
//                    (hex byte, or 'c' for a character); the command is not performed
//   byte=N:XX        the N-th byte the Writer sends is replaced by XX
//   cut=N            the Writer sends nothing after its first N bytes
//   readerror=N      the N-th read call returns a driver error
//   drop=N           nothing arrives for the N-th read call: what the Writer
//                    sent for it is lost and the read times out; the
//                    exchange goes on after it
//   gone=N           the Writer is unplugged at the N-th device call
//                    (counting every call from the first open, opens and
//                    closes included): that call and every later one fails,
//                    opening again too
//   openfail         the device cannot be opened
//   closefail        closing the device fails
// readerror, drop, gone, openfail and closefail are the driver's part and
// are shown by SimDevice; the others by the firmware model.
struct FaultPlan {
    std::array<bool, 3> boardMissing{};  // index 1 and 2
    bool silent = false;
    std::map<int, uint8_t> refuseCommand;  // command number -> reply
    std::map<int, uint8_t> replaceByte;    // sent-byte number -> byte
    std::optional<int> cutAfter;
    std::optional<int> readErrorAt;
    std::optional<int> dropReadAt;
    std::optional<int> goneAtCall;
    bool openFails = false;
    bool closeFails = false;

    // Parses the QLARKW_SIM_FAULT text; on an error returns nothing and sets
    // `error` to a message naming the bad item.
    static std::optional<FaultPlan> Parse(const QString& text, QString* error);
};

// The Writer's firmware: turns each byte from the PC into the bytes the
// Writer sends back. Replies are produced at once; the caller decides how
// fast they travel.
//
// Behaviour (where the program only relies on some of the replies):
//  - 'A'/'B' select the board on CN3/CN2 and are answered 'a' in any state.
//  - Commands for the chip ('W','R','L','X','F','V','M','Y') are answered '?'
//    when the selected connector has no powered board; the Writer then waits
//    for the PC's 'S'.
//  - 'S' is answered 's' when the Writer is idle; in any other state (write
//    mode, after a refusal or a '?') it silently returns to idle. 'C' and 'E'
//    return to idle without a reply; 'E' also ends write mode.
//  - A byte without bit 7 where a data byte was expected abandons the
//    command in progress and is taken as a new command.
//  - Program words at addresses 1024 and above are acknowledged and ignored.
//    'G' programs the configuration word's low seven bits; its bits 13..7
//    stay erased (1). 'L' erases program memory only.
class FirmwareModel {
  public:
    // What the Writer has done to the chip so far, counted as it happens, so
    // that a caller can charge the PIC's programming times.
    struct Work {
        int wordsProgrammed = 0;  // program words and the configuration word
        int eepromBytesWritten = 0;
        int bulkErases = 0;  // program memory or the whole EEPROM
    };

    explicit FirmwareModel(FaultPlan faults = {}) : faults_(std::move(faults)) {}

    QByteArray Receive(uint8_t byte);

    ChipMemory& chip() { return chip_; }
    const ChipMemory& chip() const { return chip_; }
    // The version characters the Writer sends for '@' ("108" for 1.08).
    void setVersion(const QByteArray& digits) { version_ = digits; }
    const Work& work() const { return work_; }
    // How many command bytes the Writer has received (the numbering of
    // reply=N:XX) and how many bytes it has sent (that of byte=N:XX and
    // cut=N) so far.
    int commandCount() const { return commandCount_; }
    int sentCount() const { return sentCount_; }

  private:
    enum class State {
        Idle,       // waiting for a command
        Refused,    // after a refusal or '?': waiting for 'S'
        SkipCount,  // 'I' answered, waiting for the count byte
        WordHigh,   // 'D' answered, waiting for the first byte of the word
        WordLow,
        ConfigHigh,  // 'G' answered
        ConfigLow,
        EepromAddress,  // 'V' answered, waiting for the address byte
        EepromHigh,
        EepromLow,
        EepromAllHigh,  // 'M' answered, waiting for pair n of 64
        EepromAllLow,
    };

    QByteArray Command(uint8_t byte);
    QByteArray Data(uint8_t byte);
    bool BoardReady() const;

    FaultPlan faults_;
    ChipMemory chip_;
    QByteArray version_ = "108";
    State state_ = State::Idle;
    int board_ = 0;
    bool writeMode_ = false;
    int address_ = 0;  // write mode's address counter
    uint8_t high_ = 0;
    int eepromIndex_ = 0;
    int commandCount_ = 0;
    int sentCount_ = 0;
    Work work_;
};
