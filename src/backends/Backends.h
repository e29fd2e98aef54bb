#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "link/Device.h"

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
//   ftdi        libftdi1, opening the bridge by its description (not on Windows)
//   ftdi:serial=SN       the same, the bridge with the USB serial number SN
//   d2xx        the vendor's D2XX library, loaded at run time
//   d2xx:FILE   the same, loading the library from FILE
//   d2xx:serial=SN[:FILE] the device with the serial number SN
// Several devices may be named, separated by commas
// ("serial:/tmp/w1,serial:/tmp/w2"): List() gives each Writer they reach,
// and a program that works with one Writer takes the first.
namespace backends {

inline constexpr char kEnvDevice[] = "QLARKW_DEVICE";

// The device choice QLARKW_DEVICE names ("serial:/dev/ttyUSB0", "sim", ...),
// "auto" when it is unset or empty.
QString DeviceChoiceFromEnvironment();

// The device for `choice` (the first device of a list), or nothing with
// `error` set when the choice names no backend or its settings cannot be
// read, QLARKW_LATENCY_MS among them. The device is not opened yet.
std::unique_ptr<Device> Create(const QString& choice, Clock& clock, QString* error);

// One attached Writer.
struct WriterEntry {
    QString id;       // stable: the bridge's serial number where the backend reads it, else the tty
    QString backend;  // "serial", "ftdi", "d2xx", "sim"
    QString location;  // the tty, or the place on the USB bus
    QString choice;    // what Create() takes to open exactly this Writer
};

// Where the listing looks; tests lay out trees of their own.
struct ListSources {
    QString sysfsRoot = QStringLiteral("/sys");
    QString devRoot = QStringLiteral("/dev");
};

struct WriterList {
    std::vector<WriterEntry> writers;  // each Writer once (by id), in the order found
    QStringList notes;                 // per backend that found none or failed: why
    QString error;                     // the choice names no backend: nothing was listed
};

// Every Writer the devices of `choice` reach. `auto` asks every hardware
// backend in AutoOrder(); a Writer two backends see (a bridge both the
// serial driver and libftdi1 list) is kept once, as the first found it.
WriterList List(const QString& choice, const ListSources& sources = {});

// The Writer named `name` on the command line: an id, a location or a
// choice of `list`, else a tty path given as is ("/tmp/w-1"); nothing when
// it names none.
std::optional<WriterEntry> FindWriter(const WriterList& list, const QString& name);

// The names `auto` tries on this platform, in order.
QStringList AutoOrder();

}  // namespace backends
