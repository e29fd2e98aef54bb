#include "backends/Backends.h"

#include <QFileInfo>
#include <algorithm>
#include <functional>
#include <vector>

#include "backends/d2xx/D2xxDevice.h"
#ifndef _WIN32
#include "backends/ftdi/FtdiDevice.h"
#endif
#include "backends/serial/SerialDevice.h"
#include "backends/serial/TtyFinder.h"
#include "link/ForwardingDevice.h"
#include "link/LatencySetting.h"
#include "link/protocol/Protocol.h"
#include "sim/FirmwareModel.h"
#include "sim/SimDevice.h"
#include "sim/SimEnvironment.h"

namespace backends {
namespace {

struct Backend {
    const char* name;
    // Real hardware: `auto` may choose it. The simulator is chosen only by
    // its name.
    bool hardware;
    // Builds the device; `argument` is what follows "name:" in QLARKW_DEVICE.
    std::function<std::unique_ptr<Device>(const QString& argument, Clock&, QString* error)> make;
    // Adds the Writers the device `argument` names to `list`; a reason to
    // its notes when there are none.
    std::function<void(const QString& argument, const ListSources&, WriterList* list)> list;
};

const QByteArray& WriterDescription() {
    static const QByteArray description(kDeviceDescription);
    return description;
}

// "serial=SN" or "serial=SN:rest": the serial number, and the rest in
// `rest`; nothing when the argument names none.
std::optional<QString> SerialOf(const QString& argument, QString* rest = nullptr) {
    static const QString kPrefix = QStringLiteral("serial=");
    if (!argument.startsWith(kPrefix)) {
        if (rest) *rest = argument;
        return std::nullopt;
    }
    const QString text = argument.mid(kPrefix.size());
    const qsizetype colon = text.indexOf(u':');
    if (rest) *rest = colon < 0 ? QString() : text.mid(colon + 1);
    return colon < 0 ? text : text.left(colon);
}

void Note(WriterList* list, const char* backend, const QString& why) {
    list->notes << QStringLiteral("%1: %2").arg(QLatin1String(backend), why);
}

void ListSim(const QString&, const ListSources&, WriterList* list) {
    list->writers.push_back({QStringLiteral("sim"), QStringLiteral("sim"),
                             QStringLiteral("in this program"), QStringLiteral("sim")});
}

// serial:PATH is the Writer at PATH when PATH is there; serial alone is
// every tty with the Writer's product string.
void ListSerial(const QString& argument, const ListSources& sources, WriterList* list) {
    if (!argument.isEmpty()) {
        if (ttyfinder::PortExists(argument))
            list->writers.push_back({argument, QStringLiteral("serial"), argument,
                                     QStringLiteral("serial:") + argument});
        else
            Note(list, "serial", QStringLiteral("%1 does not exist").arg(argument));
        return;
    }
    const ttyfinder::Listing found = ttyfinder::List(sources.sysfsRoot, sources.devRoot,
                                                     QString::fromLatin1(WriterDescription()));
    for (const ttyfinder::Port& port : found.writers) {
        QString location = port.usbPort.isEmpty()
                               ? port.path
                               : QStringLiteral("%1 (usb %2)").arg(port.path, port.usbPort);
        if (!ttyfinder::MayOpen(port.path))
            location += QStringLiteral(
                ", cannot be opened: permission denied (install the udev rule "
                "70-qlark-writer.rules or join the dialout group)");
        list->writers.push_back({port.serial.isEmpty() ? port.path : port.serial,
                                 QStringLiteral("serial"), location,
                                 QStringLiteral("serial:") + port.path});
    }
    if (found.writers.isEmpty()) Note(list, "serial", found.error);
}

#ifndef _WIN32
// A bridge without a serial number cannot be told from another: it is
// listed by its place on the bus and opened as the first.
void ListFtdi(const QString& argument, const ListSources&, WriterList* list) {
    QString error;
    const std::optional<QString> only = SerialOf(argument);
    bool listed = false;
    for (const FtdiDevice::Found& found : FtdiDevice::ListWriters(WriterDescription(), &error)) {
        if (only && found.serial != *only) continue;
        listed = true;
        list->writers.push_back({found.serial.isEmpty() ? found.location : found.serial,
                                 QStringLiteral("ftdi"), found.location,
                                 found.serial.isEmpty()
                                     ? QStringLiteral("ftdi")
                                     : QStringLiteral("ftdi:serial=") + found.serial});
    }
    if (!error.isEmpty())
        Note(list, "ftdi", error);
    else if (!listed)
        Note(list, "ftdi",
             QStringLiteral("no FTDI device on the USB bus has the description \"%1\"")
                 .arg(QString::fromLatin1(WriterDescription())));
}
#endif

void ListD2xx(const QString& argument, const ListSources&, WriterList* list) {
    QString file;
    const std::optional<QString> only = SerialOf(argument, &file);
    QString error;
    bool listed = false;
    const std::vector<D2xxDevice::Found> found =
        D2xxDevice::ListWriters(file, WriterDescription(), &error);
    for (const D2xxDevice::Found& device : found) {
        if (only && device.serial != *only) continue;
        QString choice = QStringLiteral("d2xx:serial=") + device.serial;
        if (!file.isEmpty()) choice += u':' + file;
        list->writers.push_back({device.serial, QStringLiteral("d2xx"), device.location, choice});
        listed = true;
    }
    if (!error.isEmpty())
        Note(list, "d2xx", error);
    else if (!listed)
        Note(list, "d2xx",
             QStringLiteral("no device in the D2XX device list has the description "
                            "\"%1\" and a serial number")
                 .arg(QString::fromLatin1(WriterDescription())));
}

std::unique_ptr<Device> MakeSim(const QString& argument, Clock& clock, QString* error) {
    if (!argument.isEmpty()) {
        if (error) *error = QStringLiteral("QLARKW_DEVICE: the sim backend takes no argument");
        return nullptr;
    }
    SimDevice::Options options;
    options.statePath = qEnvironmentVariable(simenv::kEnvSimState);
    options.tracePath = qEnvironmentVariable(simenv::kEnvSimTrace);
    const std::optional<FaultPlan> faults =
        FaultPlan::Parse(qEnvironmentVariable(simenv::kEnvSimFault), error);
    if (!faults) return nullptr;
    options.faults = *faults;
    if (qEnvironmentVariableIsSet(simenv::kEnvSimLatency)) {
        const std::optional<uint8_t> latency =
            latency::Parse(QLatin1String(simenv::kEnvSimLatency),
                           qEnvironmentVariable(simenv::kEnvSimLatency), 0, error);
        if (!latency) return nullptr;
        options.latencyMs = *latency;
    }
    return std::make_unique<SimDevice>(clock, std::move(options));
}

// serial: the tty found by the Writer's USB product string, or serial:PATH.
std::unique_ptr<Device> MakeSerial(const QString& argument, Clock&, QString*) {
    SerialDevice::Options options;
    options.path = argument;
    return std::make_unique<SerialDevice>(std::move(options));
}

#ifndef _WIN32
// ftdi, or ftdi:serial=SN for the bridge with that serial number.
std::unique_ptr<Device> MakeFtdi(const QString& argument, Clock&, QString* error) {
    const std::optional<QString> serial = SerialOf(argument);
    if (!argument.isEmpty() && (!serial || serial->isEmpty())) {
        if (error)
            *error = QStringLiteral(
                "QLARKW_DEVICE: the ftdi backend takes no argument but serial=NUMBER");
        return nullptr;
    }
    return std::make_unique<FtdiDevice>(serial.value_or(QString()));
}
#endif

// d2xx, d2xx:LIBRARY to load that file instead of the platform's names, and
// d2xx:serial=SN[:LIBRARY] for the device with that serial number.
std::unique_ptr<Device> MakeD2xx(const QString& argument, Clock&, QString*) {
    QString file;
    const std::optional<QString> serial = SerialOf(argument, &file);
    return std::make_unique<D2xxDevice>(file, serial.value_or(QString()));
}

// Every backend, chosen by its name; an unknown name is told this list.
const std::vector<Backend>& AllBackends() {
    static const std::vector<Backend> list = {
        {"sim", false, MakeSim, ListSim},
        {"serial", true, MakeSerial, ListSerial},
#ifndef _WIN32  // Windows has no libftdi1; its FTDI driver is D2XX and the COM ports.
        {"ftdi", true, MakeFtdi, ListFtdi},
#endif
        {"d2xx", true, MakeD2xx, ListD2xx},
    };
    return list;
}

const Backend* Find(const QString& name) {
    for (const Backend& backend : AllBackends()) {
        if (name == QLatin1String(backend.name)) return &backend;
    }
    return nullptr;
}

// The hardware backends `auto` tries, in order. On Windows the vendor
// library comes first, the way FTDI's driver is meant to be used, and the
// COM port it also makes is the fallback; elsewhere the system's own serial
// driver does, which needs no driver change and no extra library.
const std::vector<const Backend*>& AutoBackends() {
#if defined(_WIN32)
    static constexpr const char* kOrder[] = {"d2xx", "serial"};
#elif defined(__APPLE__)
    static constexpr const char* kOrder[] = {"serial", "d2xx", "ftdi"};
#else
    static constexpr const char* kOrder[] = {"serial", "ftdi", "d2xx"};
#endif
    static const std::vector<const Backend*> list = [] {
        std::vector<const Backend*> found;
        for (const char* name : kOrder) {
            const Backend* backend = Find(QLatin1String(name));
            if (backend && backend->hardware) found.push_back(backend);
        }
        return found;
    }();
    return list;
}

// `auto`: opens the first hardware backend that finds the Writer and then
// forwards every call to it.
class AutoDevice final : public ForwardingDevice {
  public:
    explicit AutoDevice(Clock& clock) : clock_(clock) {}

    FtStatus OpenEx(const QByteArray& description) override {
        Let(nullptr);
        QStringList reasons;
        bool noPermission = false;
        for (const Backend* backend : AutoBackends()) {
            QString error;
            std::unique_ptr<Device> device = backend->make(QString(), clock_, &error);
            if (!device) {
                reasons << QStringLiteral("%1: %2").arg(QLatin1String(backend->name), error);
                continue;
            }
            const FtStatus status = device->OpenEx(description);
            if (status == FT_NO_PERMISSION) noPermission = true;
            if (status == FT_OK) {
                Let(std::move(device));
                lastError_.clear();
                return FT_OK;
            }
            reasons << QStringLiteral("%1: %2").arg(QLatin1String(backend->name),
                                                    device->LastError().isEmpty()
                                                        ? QLatin1String(FtStatusName(status))
                                                        : device->LastError());
        }
        if (reasons.isEmpty()) reasons << QStringLiteral("no hardware backend is built in");
        // One line per backend tried, in the order tried.
        lastError_ =
            QStringLiteral("no Writer found; tried\n  ") + reasons.join(QStringLiteral("\n  "));
        // A Writer one backend found but may not open outweighs the others' none.
        return noPermission ? FT_NO_PERMISSION : FT_DEVICE_NOT_FOUND;
    }
    FtStatus Close() override {
        const FtStatus status = ForwardingDevice::Close();
        if (active_ && status != FT_OK) lastError_ = active_->LastError();
        Let(nullptr);
        return status;
    }
    QString LastError() const override {
        const QString active = ForwardingDevice::LastError();
        return active.isEmpty() ? lastError_ : active;
    }

  private:
    // The backend's device the calls go to from now on; none until the next
    // open.
    void Let(std::unique_ptr<Device> device) {
        active_ = std::move(device);
        setTarget(active_.get());
    }

    Clock& clock_;
    std::unique_ptr<Device> active_;
    QString lastError_;
};

}  // namespace

QString DeviceChoiceFromEnvironment() {
    const QString choice = qEnvironmentVariable(kEnvDevice).trimmed();
    return choice.isEmpty() ? QStringLiteral("auto") : choice;
}

QStringList AutoOrder() {
    QStringList names;
    for (const Backend* backend : AutoBackends()) names << QLatin1String(backend->name);
    return names;
}

namespace {

// The devices of a choice: its items between commas, without blanks.
QStringList Items(const QString& choice) {
    QStringList items;
    for (const QString& item : choice.split(u',')) {
        if (!item.trimmed().isEmpty()) items << item.trimmed();
    }
    if (items.isEmpty()) items << QStringLiteral("auto");
    return items;
}

QString UnknownDevice(const QString& item) {
    QStringList names{QStringLiteral("auto")};
    for (const Backend& backend : AllBackends()) names << QLatin1String(backend.name);
    return QStringLiteral("QLARKW_DEVICE: unknown device \"%1\" (use %2)")
        .arg(item, names.join(QStringLiteral(", ")));
}

// The backend an item names and what follows its colon; `auto` is no
// backend of the table and gives nullptr with `isAuto` set.
const Backend* Split(const QString& item, QString* argument, bool* isAuto) {
    const qsizetype colon = item.indexOf(u':');
    const QString name = colon < 0 ? item : item.left(colon);
    *argument = colon < 0 ? QString() : item.mid(colon + 1);
    *isAuto = name == u"auto" && colon < 0;
    return Find(name);
}

}  // namespace

std::unique_ptr<Device> Create(const QString& choice, Clock& clock, QString* error) {
    if (!latency::FromEnvironment(error)) return nullptr;
    const QString item = Items(choice).first();
    QString argument;
    bool isAuto = false;
    const Backend* backend = Split(item, &argument, &isAuto);
    if (isAuto) return std::make_unique<AutoDevice>(clock);
    if (backend) return backend->make(argument, clock, error);
    if (error) *error = UnknownDevice(item);
    return nullptr;
}

WriterList List(const QString& choice, const ListSources& sources) {
    WriterList list;
    std::vector<std::pair<const Backend*, QString>> asked;
    for (const QString& item : Items(choice)) {
        QString argument;
        bool isAuto = false;
        const Backend* backend = Split(item, &argument, &isAuto);
        if (isAuto) {
            for (const Backend* hardware : AutoBackends()) asked.emplace_back(hardware, QString());
        } else if (backend) {
            asked.emplace_back(backend, argument);
        } else {
            list.error = UnknownDevice(item);
            return list;
        }
    }
    WriterList found;
    for (const auto& [backend, argument] : asked) backend->list(argument, sources, &found);
    list.notes = found.notes;
    for (WriterEntry& entry : found.writers) {
        const bool seen = std::any_of(list.writers.begin(), list.writers.end(),
                                      [&entry](const WriterEntry& e) { return e.id == entry.id; });
        if (!seen) list.writers.push_back(std::move(entry));
    }
    return list;
}

std::optional<WriterEntry> FindWriter(const WriterList& list, const QString& name) {
    for (const WriterEntry& entry : list.writers) {
        if (entry.id == name || entry.choice == name || entry.location == name ||
            entry.location.startsWith(name + QStringLiteral(" (")))
            return entry;
    }
    // A tty given by its path, listed or not (a pty the listing did not ask for).
    if (name.contains(u'/') && QFileInfo::exists(name))
        return WriterEntry{name, QStringLiteral("serial"), name, QStringLiteral("serial:") + name};
    return std::nullopt;
}

}  // namespace backends
