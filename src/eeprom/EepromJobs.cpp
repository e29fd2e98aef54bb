#include "eeprom/EepromJobs.h"

#include "eeprom/EepromDataFile.h"
#include "jobs/JobSteps.h"
#include "link/WriterLink.h"
#include "link/protocol/SevenBit.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"

using texts::Text;
using texts::TwoLines;

namespace {

// A byte as the table shows it: two upper-case hexadecimal digits.
QString CellText(uint8_t value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The byte of a pair as the Writer sends EEPROM bytes: bit 7 from bit 0 of
// the first byte, bits 6..0 from the second.
uint8_t PairValue(std::array<uint8_t, 2> pair) {
    return static_cast<uint8_t>(((pair[0] & 0x01) << 7) | (pair[1] & 0x7F));
}

class NullEepromView final : public EepromView {
  public:
    void SetBusy(bool) override {}
    void SetStatusText(const QString&) override {}
    void SetCell(int, const QString&) override {}
};

// The byte editor's two failure messages: the Writer reached no powered
// board, or anything else went wrong.
enum class ByteWriteError { None, NoPower, Link };

void ShowByteWriteError(Host& host, ByteWriteError error) {
    const QString text = error == ByteWriteError::NoPower
                             ? TwoLines(texts::kByteNoPowerLine1, texts::kByteNoPowerLine2)
                             : TwoLines(texts::kLinkFailedLine1, texts::kByteLinkFailedLine2);
    host.MessageBox(text, Text(texts::kCaptionError), MsgIcon::Critical);
}

// The viewer's road to the board, the read's and the erase's: OpenWriter;
// the viewer busy, its status line "ＰＩＣマイコンボードと通信中";
// HandshakeWriter. Returns Done with the Writer open and the viewer busy;
// on any other outcome the Writer is closed and the viewer idle again, and
// the link has told why.
JobOutcome OpenForViewer(JobEnv& env, EepromView& view) {
    if (OpenWriter(env.device, env.host, env.state)) {
        view.SetBusy(false);
        return JobOutcome::NotOpened;
    }
    view.SetBusy(true);
    view.SetStatusText(Text(texts::kTalkingToBoard));
    if (HandshakeWriter(env.device, env.host, env.state)) {
        env.device.Close();
        view.SetBusy(false);
        return JobOutcome::LinkFailure;
    }
    return JobOutcome::Done;
}

}  // namespace

QString EepromAddressText(int address) {
    return QStringLiteral("Add ") + QString::number(address, 16).toUpper();
}

QString EepromWritingText(int address) {
    return Text(texts::kWritingAddressPrefix) + QString::number(address, 16).toUpper() + u'h';
}

namespace {

// The 'X' exchange on an open Writer: the 64 bytes into `result`, each shown
// as it arrives. Returns the link's code; the Writer stays open.
WriterError ReadEepromBytes(JobEnv& env, LinkExchange& link, EepromView& view, EepromRead* result) {
    WriterError code = StartCommand(
        link, env.host,
        {.command = cmd::kReadEeprom, .ack = cmd::kReadEepromAck, .recovery = recovery::kCancel});
    if (code != kWriterOk) return code;
    for (int address = 0; address < memorymap::kEepromBytes; ++address) {
        const LinkExchange::Pair pair = link.ReadPair();
        // A pair that did not arrive whole is no value: the read ends as
        // a failed one, and the cell keeps what it showed.
        if (!pair.complete()) {
            view.SetStatusText(Text(texts::kWriterNoResponse));
            return kWriterNoBoard;
        }
        // A byte that is not data ends the read early, without a message.
        if (!sevenbit::IsData(pair.bytes[0]) || !sevenbit::IsData(pair.bytes[1])) break;
        result->bytes[address] = PairValue(pair.bytes);
        result->count = address + 1;
        view.SetCell(address, CellText(result->bytes[address]));
    }
    view.SetStatusText(QString());
    return kWriterOk;
}

}  // namespace

EepromRead ReadEeprom(JobEnv& env, EepromView& view) {
    EepromRead result;
    result.outcome = OpenForViewer(env, view);
    if (result.outcome != JobOutcome::Done) return result;
    LinkExchange link(env.device);
    const WriterError code = ReadEepromBytes(env, link, view, &result);
    view.SetBusy(false);
    env.device.Close();
    if (code != kWriterOk) {
        ReportWriterError(env.host, code);
        // A pair that did not arrive is the Writer's code 2 as well: the
        // no-board message, and the outcome that goes with it.
        result.outcome = OutcomeOf(code);
    }
    return result;
}

JobOutcome EraseEeprom(JobEnv& env, EepromView& view) {
    Host& host = env.host;
    view.SetBusy(true);
    if (host.MessageBox(Text(texts::kAskEraseEeprom), Text(texts::kAppTitle), MsgIcon::Question,
                        MsgButtons::YesNo) != MsgAnswer::Yes) {
        view.SetBusy(false);
        return JobOutcome::Cancelled;
    }
    if (const JobOutcome opened = OpenForViewer(env, view); opened != JobOutcome::Done)
        return opened;
    LinkExchange link(env.device);
    const WriterError code = StartCommand(link, host,
                                          {.command = cmd::kEraseEeprom,
                                           .ack = cmd::kAck,
                                           .recovery = recovery::kCancelPoll,
                                           .attempts = 1});
    env.device.Close();
    if (code != kWriterOk) {
        view.SetBusy(false);
        ReportWriterError(host, code);
        return OutcomeOf(code);
    }
    host.Sleep(pauses::kEepromEraseDoneMs);
    view.SetStatusText(QString());
    view.SetBusy(false);
    // The erased contents, read afresh.
    return ReadEeprom(env, view).outcome;
}

uint32_t ReadHexPrefix(const QString& text) {
    uint32_t value = 0;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n') continue;
        const int digit = c.isDigit() && c.unicode() < 0x80 ? c.unicode() - '0'
                          : c >= u'A' && c <= u'F'          ? c.unicode() - 'A' + 10
                          : c >= u'a' && c <= u'f'          ? c.unicode() - 'a' + 10
                                                            : -1;
        if (digit < 0) break;
        // Saturates: any number this large is out of range anyway.
        value = value > 0x0FFFFFFF ? 0xFFFFFFFF : value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

ByteInput CheckByteInput(const QString& text) {
    const QString s = text.trimmed();
    const uint32_t value = ReadHexPrefix(s);
    ByteInput input;
    if (s.size() < 1 || s.size() > 2) input.failures << Text(texts::kEnterOneByte);
    if (value == 0 && s != u"0" && s != u"00") input.failures << Text(texts::kBadByteValue);
    if (value > 0xFF) input.failures << Text(texts::kByteOutOfRange);
    if (input.failures.isEmpty()) input.value = static_cast<uint8_t>(value);
    return input;
}

namespace {

// The 'V' exchange of one byte on an open Writer.
ByteWriteError SendEepromByte(JobEnv& env, LinkExchange& link, int address, uint8_t value) {
    // Every step must be answered with this read: an answer that did not
    // come is no acceptance.
    link.Send(cmd::kWriteEepromByte);
    const LinkExchange::Reply command = link.Read();
    if (!command.ok()) return ByteWriteError::Link;
    if (command.arrived && command.byte == cmd::kNoBoard) {
        link.Send(cmd::kPoll);
        return ByteWriteError::NoPower;
    }
    if (!command.is(cmd::kWriteEepromByteAck)) {
        link.Send(cmd::kCancel);
        return ByteWriteError::Link;
    }
    // From here on the viewer reads again, whatever follows.
    env.state.EepromWritten = true;
    link.Send(static_cast<uint8_t>(cmd::kDataBit | (address & cmd::kCountMask)));
    const LinkExchange::Reply addressed = link.Read();
    if (!addressed.ok()) return ByteWriteError::Link;
    if (!addressed.is(cmd::kWriteEepromByteAck)) {
        link.Send(cmd::kCancel);
        return ByteWriteError::Link;
    }
    link.Send(sevenbit::Encode(value));
    const LinkExchange::Reply written = link.Read();
    if (!written.ok()) return ByteWriteError::Link;
    if (!written.is(cmd::kAck)) {
        link.Send(cmd::kCancel);
        return ByteWriteError::Link;
    }
    return ByteWriteError::None;
}

JobOutcome ByteWriteOutcome(ByteWriteError error) {
    return error == ByteWriteError::NoPower ? JobOutcome::NoBoard : JobOutcome::WriteError;
}

}  // namespace

JobOutcome WriteEepromByte(JobEnv& env, int address, uint8_t value) {
    if (const JobOutcome opened = OpenAndSelectBoard(env); opened != JobOutcome::Done)
        return opened;
    LinkExchange link(env.device);
    ByteWriteError error = SendEepromByte(env, link, address, value);
    if (error == ByteWriteError::None) {
        env.device.Close();
        return JobOutcome::Done;
    }
    if (env.device.Close() != FT_OK) error = ByteWriteError::Link;
    ShowByteWriteError(env.host, error);
    return ByteWriteOutcome(error);
}

std::optional<EepromBytes> CheckEepromDataFile(Host& host, const QString& path) {
    // Only a file that is not there is "missing"; one that is there but
    // cannot be read says so, as the HEX file's check does.
    const eepromfile::Contents data = eepromfile::Load(path);
    switch (data.error) {
        case eepromfile::Error::None:
            return data.bytes;
        case eepromfile::Error::Missing:
            host.MessageBox(TwoLines(texts::kDataFileMissing, texts::kClickAgain),
                            Text(texts::kAppTitle), MsgIcon::Critical);
            return std::nullopt;
        case eepromfile::Error::Unreadable:
            host.MessageBox(TwoLines(texts::kFileOpenFailed, texts::kTryAgain),
                            Text(texts::kCaptionFileError), MsgIcon::Critical);
            return std::nullopt;
        case eepromfile::Error::BadField:
        case eepromfile::Error::WrongAddress:
        case eepromfile::Error::TooShort:
            break;
    }
    const QString first = data.error == eepromfile::Error::TooShort
                              ? Text(texts::kDataFileTooShort)
                              : Text(texts::kDataFileErrorAtLine).arg(data.errorLine);
    host.MessageBox(TwoLines(first, texts::kDataFileRemake), Text(texts::kCaptionFileError),
                    MsgIcon::Critical);
    return std::nullopt;
}

JobOutcome WriteEepromFile(JobEnv& env, const QString& path, ProgressView& view) {
    // The whole file is checked before the Writer is opened: a file that is
    // not 64 good bytes at their addresses is refused, and the EEPROM is not
    // touched.
    const std::optional<EepromBytes> data = CheckEepromDataFile(env.host, path);
    if (!data) return JobOutcome::FileError;
    return WriteEepromFile(env, *data, view);
}

JobOutcome WriteEepromFile(JobEnv& env, const EepromBytes& data, ProgressView& view) {
    return WriteEepromAll(env, data, view, true);
}

JobOutcome WriteEepromAll(JobEnv& env, const EepromBytes& data, ProgressView& view,
                          bool announceDone) {
    Host& host = env.host;
    if (const JobOutcome opened = OpenAndSelectBoard(env); opened != JobOutcome::Done)
        return opened;
    LinkExchange link(env.device);
    WriterError code = kWriterOk;
    link.Send(cmd::kWriteEepromAll);
    host.Sleep(pauses::kEepromBlockReplyMs);
    const LinkExchange::Reply reply = link.Read();
    if (reply.is(cmd::kNoBoard)) {
        link.Send(cmd::kPoll);
        code = kWriterNoBoard;
    } else if (!reply.is(cmd::kWriteEepromAllAck)) {
        link.Send(cmd::kCancel);
        code = kWriterLinkFailed;
    } else {
        view.SetStatusText(Text(texts::kWriting));
        view.SetProgress(0, memorymap::kEepromBytes);
        for (int address = 0; address < memorymap::kEepromBytes; ++address) {
            if (env.StopRequested()) {
                // Between two bytes: the Writer leaves the block write.
                link.Send(cmd::kCancel);
                env.device.Close();
                return JobOutcome::Interrupted;
            }
            view.SetStatusText(EepromWritingText(address));
            host.ProcessEvents();
            link.Send(sevenbit::Encode(data[address]));
            host.Sleep(pauses::kEepromPairReplyMs);
            const LinkExchange::Reply taken = link.Read();
            // Only an answer that came with this read is an acceptance.
            if (!taken.is(cmd::kWriteEepromAllAck) && !taken.is(cmd::kAck)) {
                link.Send(cmd::kCancel);
                code = kWriterLinkFailed;
                break;
            }
            view.SetProgress(address + 1, memorymap::kEepromBytes);
        }
    }
    env.device.Close();
    switch (code) {
        case kWriterOk:
            if (announceDone)
                host.MessageBox(Text(texts::kWriteDone), Text(texts::kAppTitle),
                                MsgIcon::Information);
            return JobOutcome::Done;
        case kWriterNoBoard:
            host.MessageBox(TwoLines(texts::kBoardNoPower, texts::kRunAgain),
                            Text(texts::kCaptionError), MsgIcon::Critical);
            return JobOutcome::NoBoard;
        case kWriterLinkFailed:
            break;
    }
    host.MessageBox(TwoLines(texts::kLinkFailedLine1, texts::kRunAgain), Text(texts::kCaptionError),
                    MsgIcon::Critical);
    return JobOutcome::WriteError;
}

EepromVerifyResult VerifyEeprom(JobEnv& env, const EepromBytes& data, EepromView& view) {
    EepromPart all;
    for (int address = 0; address < memorymap::kEepromBytes; ++address)
        all.Set(address, data[address]);
    return VerifyEepromPart(env, all, view);
}

JobOutcome WriteEepromPart(JobEnv& env, const EepromPart& part, ProgressView& view,
                           EepromRead* readBack) {
    if (part.empty()) return JobOutcome::Done;
    if (part.whole() && !readBack) return WriteEepromAll(env, part.bytes, view, false);
    if (const JobOutcome opened = OpenAndSelectBoard(env); opened != JobOutcome::Done)
        return opened;
    LinkExchange link(env.device);
    ByteWriteError error = ByteWriteError::None;
    int done = 0;
    view.SetProgress(0, part.count());
    for (int address = 0; address < memorymap::kEepromBytes && error == ByteWriteError::None;
         ++address) {
        if (!part.given.test(address)) continue;
        if (env.StopRequested()) {
            // Between two bytes, each a whole exchange of its own.
            env.device.Close();
            return JobOutcome::Interrupted;
        }
        view.SetStatusText(EepromWritingText(address));
        env.host.ProcessEvents();
        error = SendEepromByte(env, link, address, part.bytes[address]);
        if (error == ByteWriteError::None) view.SetProgress(++done, part.count());
    }
    WriterError readCode = kWriterOk;
    if (error == ByteWriteError::None && readBack) {
        // Read back while the Writer is open: the bytes just written, as
        // the chip holds them now.
        NullEepromView quiet;
        *readBack = EepromRead{};
        readCode = ReadEepromBytes(env, link, quiet, readBack);
    }
    const bool closed = env.device.Close() == FT_OK;
    if (error == ByteWriteError::None && !closed) error = ByteWriteError::Link;
    if (error != ByteWriteError::None) {
        ShowByteWriteError(env.host, error);
        return ByteWriteOutcome(error);
    }
    if (readCode != kWriterOk) {
        ReportWriterError(env.host, readCode);
        readBack->outcome = OutcomeOf(readCode);
        return readBack->outcome;
    }
    return JobOutcome::Done;
}

EepromVerifyResult CompareEeprom(const EepromRead& read, const EepromPart& part) {
    EepromVerifyResult result;
    result.read = read;
    result.outcome = read.outcome;
    if (result.outcome != JobOutcome::Done) return result;
    // No comparison with part of the EEPROM.
    if (read.count < memorymap::kEepromBytes) {
        result.outcome = JobOutcome::LinkFailure;
        return result;
    }
    for (int address = 0; address < memorymap::kEepromBytes; ++address) {
        if (part.given.test(address) && read.bytes[address] != part.bytes[address])
            result.bytes.push_back({address, part.bytes[address], read.bytes[address]});
    }
    if (!result.bytes.empty()) result.outcome = JobOutcome::Mismatch;
    return result;
}

EepromVerifyResult VerifyEepromPart(JobEnv& env, const EepromPart& part, EepromView& view) {
    return CompareEeprom(ReadEeprom(env, view), part);
}
