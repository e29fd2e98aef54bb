#include "sim/FirmwareModel.h"

#include <QStringList>

#include "link/protocol/Protocol.h"
#include "link/protocol/SevenBit.h"

namespace {

// "XX" as a hex byte, or "'c'"/"c" as a character.
std::optional<uint8_t> ParseByte(const QString& text) {
    if (text.size() == 3 && text.front() == u'\'' && text.back() == u'\'' &&
        text[1].unicode() < 0x80)
        return static_cast<uint8_t>(text[1].unicode());
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (ok && value <= 0xFF && !text.isEmpty()) return static_cast<uint8_t>(value);
    return std::nullopt;
}

// Appends the seven-bit pair of `value`: the form every data value takes on
// the line.
void AppendPair(QByteArray& out, uint16_t value) {
    const auto pair = sevenbit::Encode(value);
    out.append(static_cast<char>(pair[0]));
    out.append(static_cast<char>(pair[1]));
}

std::optional<int> ParseCount(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 1) return std::nullopt;
    return value;
}

}  // namespace

std::optional<FaultPlan> FaultPlan::Parse(const QString& text, QString* error) {
    FaultPlan plan;
    const QStringList items = text.split(u',', Qt::SkipEmptyParts);
    for (const QString& rawItem : items) {
        const QString item = rawItem.trimmed();
        const qsizetype eq = item.indexOf(u'=');
        const QString name = eq < 0 ? item : item.left(eq);
        const QString value = eq < 0 ? QString() : item.mid(eq + 1);
        auto fail = [&]() {
            if (error) *error = QStringLiteral("QLARKW_SIM_FAULT: cannot read \"%1\"").arg(item);
            return std::nullopt;
        };
        if (name == u"silent" && eq < 0) {
            plan.silent = true;
        } else if (name == u"openfail" && eq < 0) {
            plan.openFails = true;
        } else if (name == u"closefail" && eq < 0) {
            plan.closeFails = true;
        } else if (name == u"noboard" || name == u"nopower") {
            if (value != u"1" && value != u"2") return fail();
            plan.boardMissing[value.toInt()] = true;
        } else if (name == u"reply" || name == u"byte") {
            const qsizetype colon = value.indexOf(u':');
            const auto n = ParseCount(value.left(colon));
            const auto byte = colon < 0 ? std::nullopt : ParseByte(value.mid(colon + 1));
            if (!n || !byte) return fail();
            (name == u"reply" ? plan.refuseCommand : plan.replaceByte)[*n] = *byte;
        } else if (name == u"cut") {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (!ok || n < 0) return fail();
            plan.cutAfter = n;
        } else if (name == u"readerror" || name == u"drop" || name == u"gone") {
            const auto n = ParseCount(value);
            if (!n) return fail();
            (name == u"readerror" ? plan.readErrorAt
             : name == u"drop"    ? plan.dropReadAt
                                  : plan.goneAtCall) = *n;
        } else {
            return fail();
        }
    }
    return plan;
}

bool FirmwareModel::BoardReady() const {
    return board_ == 1 || board_ == 2 ? !faults_.boardMissing[board_] : false;
}

QByteArray FirmwareModel::Receive(uint8_t byte) {
    QByteArray out;
    const bool expectsData = state_ != State::Idle && state_ != State::Refused;
    if (expectsData && sevenbit::IsData(byte)) {
        out = Data(byte);
    } else {
        state_ = state_ == State::Refused ? State::Refused : State::Idle;
        out = Command(byte);
    }
    if (faults_.silent) return {};
    QByteArray sent;
    for (const char c : out) {
        const int number = ++sentCount_;
        if (faults_.cutAfter && number > *faults_.cutAfter) break;
        const auto replaced = faults_.replaceByte.find(number);
        sent.append(replaced != faults_.replaceByte.end() ? static_cast<char>(replaced->second)
                                                          : c);
    }
    return sent;
}

QByteArray FirmwareModel::Command(uint8_t byte) {
    if (sevenbit::IsData(byte)) return {};  // stray data byte: ignored
    const int number = ++commandCount_;
    if (const auto refusal = faults_.refuseCommand.find(number);
        refusal != faults_.refuseCommand.end()) {
        state_ = State::Refused;
        return QByteArray(1, static_cast<char>(refusal->second));
    }
    auto chipCommand = [&](uint8_t ack, State next) -> QByteArray {
        if (!BoardReady()) {
            state_ = State::Refused;
            return QByteArray(1, static_cast<char>(cmd::kNoBoard));
        }
        state_ = next;
        return QByteArray(1, static_cast<char>(ack));
    };
    switch (byte) {
        case cmd::kSelectQLark:
        case cmd::kSelectQLark2:
            board_ = byte == cmd::kSelectQLark ? 1 : 2;
            writeMode_ = false;
            state_ = State::Idle;
            return QByteArray(1, static_cast<char>(cmd::kAck));
        case cmd::kPoll: {
            const bool idle = state_ == State::Idle && !writeMode_;
            state_ = State::Idle;
            writeMode_ = false;
            return idle ? QByteArray(1, static_cast<char>(cmd::kPollAck)) : QByteArray();
        }
        case cmd::kCancel:
        case cmd::kEnd:
            state_ = State::Idle;
            writeMode_ = false;
            return {};
        case cmd::kVersion: {
            QByteArray reply = version_;
            reply.append(static_cast<char>(cmd::kAck));
            return reply;
        }
        default:
            break;
    }
    if (state_ == State::Refused) return {};  // waits for 'S', 'C' or 'E'
    switch (byte) {
        case cmd::kWriteMode: {
            QByteArray reply = chipCommand(cmd::kWriteAck, State::Idle);
            if (state_ == State::Idle) {
                writeMode_ = true;
                address_ = 0;
            }
            return reply;
        }
        case cmd::kSkip:
            if (!writeMode_) return {};
            state_ = State::SkipCount;
            return QByteArray(1, static_cast<char>(cmd::kSkipAck));
        case cmd::kProgramWord:
            if (!writeMode_) return {};
            state_ = State::WordHigh;
            return QByteArray(1, static_cast<char>(cmd::kWriteAck));
        case cmd::kProgramConfig:
            if (!writeMode_) return {};
            state_ = State::ConfigHigh;
            return QByteArray(1, static_cast<char>(cmd::kConfigAck));
        case cmd::kReadProgram: {
            QByteArray reply = chipCommand(cmd::kReadAck, State::Idle);
            if (state_ != State::Idle) return reply;
            reply.reserve(1 + 2 * memorymap::kReadOutWords);
            for (const uint16_t word : chip_.program) AppendPair(reply, word);
            for (const uint16_t word : chip_.config) AppendPair(reply, word);
            return reply;
        }
        case cmd::kEraseProgram: {
            QByteArray reply = chipCommand(cmd::kAck, State::Idle);
            if (state_ == State::Idle) {
                chip_.program.fill(ChipMemory::kBlankWord);
                ++work_.bulkErases;
            }
            return reply;
        }
        case cmd::kReadEeprom: {
            QByteArray reply = chipCommand(cmd::kReadEepromAck, State::Idle);
            if (state_ != State::Idle) return reply;
            for (const uint8_t value : chip_.eeprom) AppendPair(reply, value);
            return reply;
        }
        case cmd::kEraseEeprom: {
            QByteArray reply = chipCommand(cmd::kAck, State::Idle);
            if (state_ == State::Idle) {
                chip_.eeprom.fill(ChipMemory::kBlankByte);
                ++work_.bulkErases;
            }
            return reply;
        }
        case cmd::kWriteEepromByte:
            return chipCommand(cmd::kWriteEepromByteAck, State::EepromAddress);
        case cmd::kWriteEepromAll: {
            QByteArray reply = chipCommand(cmd::kWriteEepromAllAck, State::EepromAllHigh);
            eepromIndex_ = 0;
            return reply;
        }
        case cmd::kReadConfig: {
            QByteArray reply = chipCommand(cmd::kReadConfigAck, State::Idle);
            if (state_ != State::Idle) return reply;
            AppendPair(reply, chip_.configWord());
            return reply;
        }
        default:
            return {};  // unknown command: no reply
    }
}

QByteArray FirmwareModel::Data(uint8_t byte) {
    const uint8_t bits = byte & cmd::kCountMask;
    auto reply = [](uint8_t b) { return QByteArray(1, static_cast<char>(b)); };
    switch (state_) {
        case State::SkipCount:
            address_ += bits;
            state_ = State::Idle;
            return reply(cmd::kWriteAck);
        case State::WordHigh:
        case State::ConfigHigh:
        case State::EepromHigh:
        case State::EepromAllHigh:
            high_ = bits;
            state_ = static_cast<State>(static_cast<int>(state_) + 1);
            return {};
        case State::WordLow: {
            const uint16_t word = sevenbit::Join(high_, bits);
            if (address_ < ChipMemory::kProgramWords) {
                chip_.program[address_] = word;
                ++work_.wordsProgrammed;
            }
            ++address_;
            state_ = State::Idle;
            return reply(cmd::kWriteAck);
        }
        case State::ConfigLow:
            // Bits 13..7 stay erased: the Writer programs bits 6..0 only.
            chip_.config[memorymap::kConfigWordIndex] =
                static_cast<uint16_t>((memorymap::kBlankWord & ~memorymap::kConfigBitsMask) | bits);
            ++work_.wordsProgrammed;
            state_ = State::Idle;
            return reply(cmd::kWriteAck);
        case State::EepromAddress:
            eepromIndex_ = bits % ChipMemory::kEepromBytes;
            state_ = State::EepromHigh;
            return reply(cmd::kWriteEepromByteAck);
        case State::EepromLow:
            chip_.eeprom[eepromIndex_] = static_cast<uint8_t>(sevenbit::Join(high_, bits));
            ++work_.eepromBytesWritten;
            state_ = State::Idle;
            return reply(cmd::kAck);
        case State::EepromAllLow: {
            chip_.eeprom[eepromIndex_] = static_cast<uint8_t>(sevenbit::Join(high_, bits));
            ++work_.eepromBytesWritten;
            ++eepromIndex_;
            if (eepromIndex_ < ChipMemory::kEepromBytes) {
                state_ = State::EepromAllHigh;
                return reply(cmd::kWriteEepromAllAck);
            }
            state_ = State::Idle;
            return reply(cmd::kAck);
        }
        default:
            return {};
    }
}
