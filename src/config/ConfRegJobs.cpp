#include "config/ConfRegJobs.h"

#include "jobs/JobSteps.h"
#include "link/WriterLink.h"
#include "resources/Texts.h"
#include "shared/Host.h"

using texts::Text;

QString ConfRegDisplayText(uint8_t configByte) {
    static constexpr const char* kOscillators[] = {"LP", "XT", "HS", "RC"};
    auto onOff = [](bool on) { return Text(on ? texts::kOn : texts::kOff); };
    const QString crLf = Text(texts::kCrLf);
    return Text(texts::kConfRegOscillator) + QLatin1String(kOscillators[configByte & 0x03]) + crLf +
           Text(texts::kConfRegWatchdog) + onOff((configByte & 0x04) != 0) + crLf +
           Text(texts::kConfRegPowerUp) + onOff((configByte & 0x08) == 0) + crLf +
           Text(texts::kConfRegProtect) + onOff((configByte & 0x10) == 0);
}

ConfRegRead ReadConfRegComm(JobEnv& env, ProgressView& view) {
    Host& host = env.host;
    ConfRegRead result;
    result.outcome = OpenAndSelectBoard(env);
    if (result.outcome != JobOutcome::Done) return result;
    LinkExchange link(env.device);
    WriterError code = kWriterLinkFailed;
    for (int attempt = 0; attempt < kCommandAttempts; ++attempt) {
        code = kWriterOk;
        link.Send(cmd::kReadConfig);
        host.Sleep(pauses::kConfigReplyMs);
        const LinkExchange::Reply reply = link.Read();
        if (!reply.ok()) {
            code = kWriterLinkFailed;
            break;
        }
        if (reply.byte == cmd::kNoBoard) {
            link.Send(cmd::kPoll);
            code = kWriterNoBoard;
            break;
        }
        if (reply.byte == cmd::kReadConfigAck) break;
        link.Send(cmd::kCancel);
        host.Sleep(pauses::kRecoveryMs);
        link.Send(cmd::kEnd);
        code = kWriterLinkFailed;
    }
    if (code == kWriterOk) {
        // Both bytes must come: a display is never made of a byte that did
        // not arrive.
        const LinkExchange::Pair pair = link.ReadPair();
        if (pair.complete()) {
            result.configByte = pair.bytes[1];
            view.SetStatusText(ConfRegDisplayText(pair.bytes[1]));
        } else {
            code = kWriterLinkFailed;
            view.SetStatusText(QString());
        }
    }
    env.device.Close();
    if (code != kWriterOk) {
        ReportWriterError(host, code);
        result.outcome = code == kWriterNoBoard ? JobOutcome::NoBoard : JobOutcome::LinkFailure;
    }
    return result;
}
