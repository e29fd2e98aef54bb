#pragma once

// The environment variables that set up the simulated Writer, in process
// (QLARKW_DEVICE=sim) and on a pty (qlarkw-sim) alike.
namespace simenv {
inline constexpr char kEnvSimState[] = "QLARKW_SIM_STATE";  // the chip's HEX image
inline constexpr char kEnvSimTrace[] = "QLARKW_SIM_TRACE";  // one line per event
inline constexpr char kEnvSimFault[] = "QLARKW_SIM_FAULT";  // the faults to show
// The bridge's latency timer before the program sets it, in ms (0 by
// default: replies cross at once).
inline constexpr char kEnvSimLatency[] = "QLARKW_SIM_LATENCY";
}  // namespace simenv
