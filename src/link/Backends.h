#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "link/Device.h"
#include "link/sim/SimEnvironment.h"

class Clock;

// The list of device backends and the choice among them.
//
// QLARKW_DEVICE names the backend:
//   auto        (default) real hardware: the first backend that finds a Writer
//   sim         the simulated Writer in this process; QLARKW_SIM_STATE,
//               QLARKW_SIM_TRACE, QLARKW_SIM_FAULT and QLARKW_SIM_LATENCY
//               configure it
//   serial      a tty whose USB product string is the Writer's
//   serial:PATH the tty at PATH (a qlarkw-sim pseudo-terminal, for example)
//   ftdi        libftdi1, opening the bridge by its description
//   d2xx        the vendor's D2XX library, loaded at run time
//   d2xx:FILE   the same, loading the library from FILE
namespace backends {

inline constexpr char kEnvDevice[] = "QLARKW_DEVICE";
using simenv::kEnvSimFault;
using simenv::kEnvSimLatency;
using simenv::kEnvSimState;
using simenv::kEnvSimTrace;

// The device choice QLARKW_DEVICE names ("serial:/dev/ttyUSB0", "sim", ...),
// "auto" when it is unset or empty.
QString DeviceChoiceFromEnvironment();

// The device for `choice`, or nothing with `error` set when the choice names no
// backend or its settings cannot be read, QLARKW_LATENCY_MS among them. The
// device is not opened yet.
std::unique_ptr<Device> Create(const QString& choice, Clock& clock, QString* error);

// The names `auto` tries on this platform, in order.
QStringList AutoOrder();

}  // namespace backends
