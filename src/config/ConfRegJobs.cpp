#include "config/ConfRegJobs.h"

#include "jobs/JobSteps.h"
#include "link/WriterLink.h"
#include "link/protocol/MemoryMap.h"
#include "resources/Texts.h"
#include "shared/Host.h"

using texts::Text;

QString ConfRegDisplayText(uint8_t configByte) {
    static constexpr const char* kOscillators[] = {"LP", "XT", "HS", "RC"};
    auto onOff = [](bool on) { return Text(on ? texts::kOn : texts::kOff); };
    const QString crLf = Text(texts::kCrLf);
    using namespace memorymap;
    return Text(texts::kConfRegOscillator) +
           QLatin1String(kOscillators[configByte & kConfigOscillatorMask]) + crLf +
           Text(texts::kConfRegWatchdog) + onOff((configByte & kConfigWatchdogBit) != 0) + crLf +
           Text(texts::kConfRegPowerUp) + onOff((configByte & kConfigPowerUpTimerBit) == 0) + crLf +
           Text(texts::kConfRegProtect) + onOff((configByte & kConfigCodeProtectBit) == 0);
}

ConfRegRead ReadConfRegComm(JobEnv& env, ProgressView& view) {
    Host& host = env.host;
    ConfRegRead result;
    result.outcome = OpenAndSelectBoard(env);
    if (result.outcome != JobOutcome::Done) return result;
    LinkExchange link(env.device);
    WriterError code = StartCommand(link, host,
                                    {.command = cmd::kReadConfig,
                                     .ack = cmd::kReadConfigAck,
                                     .recovery = recovery::kCancelEnd,
                                     .replyPauseMs = pauses::kConfigReplyMs});
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
        result.outcome = OutcomeOf(code);
    }
    return result;
}
