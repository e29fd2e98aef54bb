#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The bridge's latency timer as the link sets it after every open: the
// value from the link parameters, or QLARKW_LATENCY_MS for a comparison
// (16 gives the bridge's own default back).
namespace latency {

inline constexpr char kEnvLatency[] = "QLARKW_LATENCY_MS";

// `text` as a latency in whole milliseconds from `lowest` to 255, or
// nothing with `error` naming `what` and the values it takes.
std::optional<uint8_t> Parse(const QString& what, const QString& text, int lowest, QString* error);

// QLARKW_LATENCY_MS when it is set, the link parameters' value when it is
// not; nothing with `error` set when it holds no latency.
std::optional<uint8_t> FromEnvironment(QString* error);

// The latency OpenWriter sets: FromEnvironment(), and the link parameters'
// value where the variable holds nonsense (the programs refuse to start
// with it, see backends::Create).
uint8_t LinkLatencyMs();

}  // namespace latency
