#include "link/LatencySetting.h"

#include "link/protocol/Protocol.h"

namespace latency {

std::optional<uint8_t> Parse(const QString& what, const QString& text, int lowest, QString* error) {
    bool ok = false;
    const int ms = text.trimmed().toInt(&ok, 10);
    if (!ok || ms < lowest || ms > linkparams::kLatencyTimerMaxMs) {
        if (error) {
            *error = QStringLiteral(
                         "%1: \"%2\" is not a latency; give whole milliseconds from "
                         "%3 to %4 (%5 is the bridge's default)")
                         .arg(what, text)
                         .arg(lowest)
                         .arg(linkparams::kLatencyTimerMaxMs)
                         .arg(linkparams::kBridgeDefaultLatencyMs);
        }
        return std::nullopt;
    }
    return static_cast<uint8_t>(ms);
}

std::optional<uint8_t> FromEnvironment(QString* error) {
    if (!qEnvironmentVariableIsSet(kEnvLatency)) return linkparams::kLatencyTimerMs;
    return Parse(QLatin1String(kEnvLatency), qEnvironmentVariable(kEnvLatency), 1, error);
}

uint8_t LinkLatencyMs() {
    return FromEnvironment(nullptr).value_or(linkparams::kLatencyTimerMs);
}

}  // namespace latency
