#include "link/WriterLink.h"

#include "link/LatencySetting.h"
#include "resources/Texts.h"
#include "shared/AppState.h"
#include "shared/Host.h"

using texts::Text;

FtStatus LinkExchange::Send(uint8_t byte) {
    uint32_t written = 0;
    return device_.Write(&byte, 1, &written);
}

FtStatus LinkExchange::Send(std::array<uint8_t, 2> bytes) {
    uint32_t written = 0;
    return device_.Write(bytes.data(), 2, &written);
}

LinkExchange::Reply LinkExchange::Read() {
    uint8_t buffer = recv_;
    uint32_t received = 0;
    Reply reply;
    reply.status = device_.Read(&buffer, 1, &received);
    reply.arrived = reply.status == FT_OK && received == 1;
    if (reply.arrived) recv_ = buffer;
    reply.byte = recv_;
    return reply;
}

LinkExchange::Pair LinkExchange::ReadPair() {
    Pair pair;
    pair.status = device_.Read(pair.bytes.data(), 2, &pair.received);
    if (pair.received > 0) recv_ = pair.bytes[0];  // the receive buffer's byte 0
    return pair;
}

bool OpenWriter(Device& device, Host& host, AppState& state) {
    if (const FtStatus status = device.OpenEx(QByteArray(kDeviceDescription)); status != FT_OK) {
        // A Writer this user may not open is there: say what gives access.
        // The desktop program points to its manual, the command line to doctor.
        QString text = Text(texts::kCheckUsbConnection);
        if (status == FT_NO_PERMISSION) {
            text = Text(texts::kNoPermissionLine1) + Text(texts::kCrLf) +
                   Text(texts::kNoPermissionLine2) + Text(texts::kCrLf) +
                   (state.NoPermissionHint.isEmpty() ? Text(texts::kNoPermissionLine3)
                                                     : state.NoPermissionHint);
        }
        if (!state.QuietOpen) host.MessageBox(text, Text(texts::kAppTitle), MsgIcon::Critical);
        state.QuietOpen = false;
        return true;
    }
    using namespace linkparams;
    device.Purge(kPurgeMask);
    device.SetTimeouts(kReadTimeoutMs, kWriteTimeoutMs);
    device.SetBaudRate(kBaudRate);
    device.SetDataCharacteristics(kWordLength, kStopBits, kParity);
    device.SetFlowControl(kFlowControl, kXon, kXoff);
    // A backend that cannot set the timer says so in its status; the link
    // goes on, only slower.
    device.SetLatencyTimer(latency::LinkLatencyMs());
    host.Sleep(pauses::kSettleMs);
    state.QuietOpen = false;
    return false;
}

bool HandshakeWriter(Device& device, Host& host, const AppState& state) {
    LinkExchange link(device);
    CommandStart start{
        .command = state.BoardMode == kBoardQLark ? cmd::kSelectQLark : cmd::kSelectQLark2,
        .ack = cmd::kAck,
        .recovery = recovery::kHandshake,
        .replyPauseMs = pauses::kSelectReplyMs,
        .processEvents = true,
        .noBoardReply = false,
        .readAfterRecovery = true,
    };
    if (StartCommand(link, host, start) != kWriterOk) {
        ReportWriterError(host, kWriterLinkFailed);
        return true;
    }
    host.Sleep(pauses::kHandshakeDoneMs);
    return false;
}

WriterError StartCommand(LinkExchange& link, Host& host, const CommandStart& start) {
    for (int attempt = 0; attempt < start.attempts; ++attempt) {
        link.Send(start.command);
        if (start.replyPauseMs > 0) host.Sleep(start.replyPauseMs);
        if (start.processEvents) host.ProcessEvents();
        const LinkExchange::Reply reply = link.Read();
        if (!reply.ok()) return kWriterLinkFailed;
        if (start.noBoardReply && reply.byte == cmd::kNoBoard) {
            link.Send(cmd::kPoll);
            return kWriterNoBoard;
        }
        if (reply.byte == start.ack) return kWriterOk;
        for (const RecoveryStep& step : start.recovery) {
            link.Send(step.byte);
            if (step.pauseMs > 0) host.Sleep(step.pauseMs);
        }
        if (start.readAfterRecovery) link.Read();
    }
    return kWriterLinkFailed;
}

void ReportWriterError(Host& host, int16_t code) {
    const QString text = code == kWriterNoBoard
                             ? texts::TwoLines(texts::kNoBoardLine1, texts::kNoBoardLine2)
                             : texts::TwoLines(texts::kLinkFailedLine1, texts::kLinkFailedLine2);
    host.MessageBox(text, Text(texts::kCaptionError), MsgIcon::Critical);
}
