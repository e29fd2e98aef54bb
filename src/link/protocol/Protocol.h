#pragma once

// The Writer's side of the link as both ends see it: its USB description,
// the link parameters, the command bytes and the fixed pauses. The link's
// steps, the jobs and the firmware model all take them from here. This
// folder is a leaf: it includes nothing of the program's but itself.

#include <cstdint>

#include "link/protocol/D2xxCodes.h"

// The USB description the Writer's bridge is opened by.
inline constexpr char kDeviceDescription[] = "Q-LARK USB Programmer";

// The link parameters every job sets after opening the Writer.
namespace linkparams {
inline constexpr uint32_t kPurgeMask = FT_PURGE_RX | FT_PURGE_TX;
inline constexpr uint32_t kReadTimeoutMs = 5000;
inline constexpr uint32_t kWriteTimeoutMs = 1000;
inline constexpr uint32_t kBaudRate = 4800;
inline constexpr uint8_t kWordLength = d2xxcodes::kBits8;
inline constexpr uint8_t kStopBits = d2xxcodes::kStopBits1;
inline constexpr uint8_t kParity = d2xxcodes::kParityNone;
inline constexpr uint16_t kFlowControl = d2xxcodes::kFlowNone;
inline constexpr uint8_t kXon = 0;
inline constexpr uint8_t kXoff = 0;
// The bridge's latency timer, set right after the flow control: a reply
// shorter than the bridge's USB packet (every reply of the Writer) waits
// for the timer before it crosses USB. The bridge's own default is 16 ms;
// the lowest value its drivers take is 1 ms (2 ms for the vendor's library).
inline constexpr uint8_t kLatencyTimerMs = 1;
inline constexpr uint8_t kLatencyTimerMaxMs = 255;
inline constexpr uint8_t kBridgeDefaultLatencyMs = 16;
// Bits on the line per byte: start bit, eight data bits, stop bit.
inline constexpr int kBitsPerByte = 10;
}  // namespace linkparams

// The fixed pauses of the exchanges, in milliseconds.
namespace pauses {
inline constexpr int kSettleMs = 50;              // after the link parameters
inline constexpr int kSelectReplyMs = 20;         // between the board selection and its reply
inline constexpr int kRecoveryMs = 200;           // after a recovery byte
inline constexpr int kHandshakeDoneMs = 50;       // after the Writer acknowledged the board
inline constexpr int kBeforeOperationMs = 500;    // between OK and a read or an erase
inline constexpr int kStartupPollMs = 200;        // between a start-up poll and its reply
inline constexpr int kBetweenPollsMs = 500;       // between the start-up check's two polls
inline constexpr int kVersionReplyMs = 200;       // between '@' and the first version character
inline constexpr int kVersionCharMs = 50;         // after each version character
inline constexpr int kConfigReplyMs = 50;         // between 'Y' and its reply
inline constexpr int kEepromEraseDoneMs = 200;    // after the EEPROM erase, before it is read again
inline constexpr int kEepromByteWrittenMs = 500;  // the byte editor's wait after a write
inline constexpr int kEepromBlockReplyMs = 200;   // between 'M' and its reply
inline constexpr int kEepromPairReplyMs = 50;     // between an EEPROM data pair and its reply
}  // namespace pauses

// A command the Writer does not take at once is tried this many times, with
// the recovery bytes in between.
inline constexpr int kCommandAttempts = 3;

// The Writer's command bytes and replies.
namespace cmd {
inline constexpr uint8_t kSelectQLark = 'A';
inline constexpr uint8_t kSelectQLark2 = 'B';
inline constexpr uint8_t kAck = 'a';
inline constexpr uint8_t kNoBoard = '?';
inline constexpr uint8_t kWriteMode = 'W';
inline constexpr uint8_t kWriteAck = 'w';
inline constexpr uint8_t kSkip = 'I';
inline constexpr uint8_t kSkipAck = 'i';
inline constexpr uint8_t kProgramWord = 'D';
inline constexpr uint8_t kProgramConfig = 'G';
inline constexpr uint8_t kConfigAck = 'g';
inline constexpr uint8_t kReadProgram = 'R';
inline constexpr uint8_t kReadAck = 'r';
inline constexpr uint8_t kEraseProgram = 'L';
inline constexpr uint8_t kReadEeprom = 'X';
inline constexpr uint8_t kReadEepromAck = 'x';
inline constexpr uint8_t kEraseEeprom = 'F';
inline constexpr uint8_t kWriteEepromByte = 'V';
inline constexpr uint8_t kWriteEepromByteAck = 'v';
inline constexpr uint8_t kWriteEepromAll = 'M';
inline constexpr uint8_t kWriteEepromAllAck = 'm';
inline constexpr uint8_t kReadConfig = 'Y';
inline constexpr uint8_t kReadConfigAck = 'y';
inline constexpr uint8_t kVersion = '@';
inline constexpr uint8_t kPoll = 'S';
inline constexpr uint8_t kPollAck = 's';
inline constexpr uint8_t kCancel = 'C';
inline constexpr uint8_t kEnd = 'E';

// A skip ('I') moves the address counter by 1 to 127 words.
inline constexpr int kMaxSkip = 127;
// The seven bits of a skip count or an address byte.
inline constexpr uint8_t kCountMask = 0x7F;
// A byte with this bit set is data, never a command or a reply.
inline constexpr uint8_t kDataBit = 0x80;
}  // namespace cmd
