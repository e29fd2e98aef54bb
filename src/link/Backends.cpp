#include "link/Backends.h"

#include <functional>
#include <vector>

#include "link/LatencySetting.h"
#include "link/d2xx/D2xxDevice.h"
#include "link/ftdi/FtdiDevice.h"
#include "link/serial/SerialDevice.h"
#include "link/sim/FirmwareModel.h"
#include "link/sim/SimDevice.h"

namespace backends {
namespace {

struct Backend {
    const char* name;
    // Real hardware: `auto` may choose it. The simulator is chosen only by
    // its name.
    bool hardware;
    // Builds the device; `argument` is what follows "name:" in QLARKW_DEVICE.
    std::function<std::unique_ptr<Device>(const QString& argument, Clock&, QString* error)> make;
};

std::unique_ptr<Device> MakeSim(const QString& argument, Clock& clock, QString* error) {
    if (!argument.isEmpty()) {
        if (error) *error = QStringLiteral("QLARKW_DEVICE: the sim backend takes no argument");
        return nullptr;
    }
    SimDevice::Options options;
    options.statePath = qEnvironmentVariable(kEnvSimState);
    options.tracePath = qEnvironmentVariable(kEnvSimTrace);
    const std::optional<FaultPlan> faults =
        FaultPlan::Parse(qEnvironmentVariable(kEnvSimFault), error);
    if (!faults) return nullptr;
    options.faults = *faults;
    if (qEnvironmentVariableIsSet(kEnvSimLatency)) {
        const std::optional<uint8_t> latency = latency::Parse(
            QLatin1String(kEnvSimLatency), qEnvironmentVariable(kEnvSimLatency), 0, error);
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

std::unique_ptr<Device> MakeFtdi(const QString& argument, Clock&, QString* error) {
    if (!argument.isEmpty()) {
        if (error) *error = QStringLiteral("QLARKW_DEVICE: the ftdi backend takes no argument");
        return nullptr;
    }
    return std::make_unique<FtdiDevice>();
}

// d2xx, or d2xx:LIBRARY to load that file instead of the platform's names.
std::unique_ptr<Device> MakeD2xx(const QString& argument, Clock&, QString*) {
    return std::make_unique<D2xxDevice>(argument);
}

// Every backend, chosen by its name; an unknown name is told this list.
const std::vector<Backend>& AllBackends() {
    static const std::vector<Backend> list = {
        {"sim", false, MakeSim},
        {"serial", true, MakeSerial},
        {"ftdi", true, MakeFtdi},
        {"d2xx", true, MakeD2xx},
    };
    return list;
}

const Backend* Find(const QString& name) {
    for (const Backend& backend : AllBackends()) {
        if (name == QLatin1String(backend.name)) return &backend;
    }
    return nullptr;
}

// The hardware backends `auto` tries, in order. Windows names a COM port by
// its driver, not by the Writer's product string, so the vendor library
// comes first there; elsewhere the system's own serial driver does, which
// needs no driver change and no extra library.
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
class AutoDevice final : public Device {
  public:
    explicit AutoDevice(Clock& clock) : clock_(clock) {}

    FtStatus OpenEx(const QByteArray& description) override {
        active_.reset();
        QStringList reasons;
        for (const Backend* backend : AutoBackends()) {
            QString error;
            std::unique_ptr<Device> device = backend->make(QString(), clock_, &error);
            if (!device) {
                reasons << QStringLiteral("%1: %2").arg(QLatin1String(backend->name), error);
                continue;
            }
            const FtStatus status = device->OpenEx(description);
            if (status == FT_OK) {
                active_ = std::move(device);
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
        return FT_DEVICE_NOT_FOUND;
    }
    FtStatus Purge(uint32_t mask) override {
        return active_ ? active_->Purge(mask) : FT_INVALID_HANDLE;
    }
    FtStatus SetTimeouts(uint32_t r, uint32_t w) override {
        return active_ ? active_->SetTimeouts(r, w) : FT_INVALID_HANDLE;
    }
    FtStatus SetBaudRate(uint32_t baud) override {
        return active_ ? active_->SetBaudRate(baud) : FT_INVALID_HANDLE;
    }
    FtStatus SetDataCharacteristics(uint8_t w, uint8_t s, uint8_t p) override {
        return active_ ? active_->SetDataCharacteristics(w, s, p) : FT_INVALID_HANDLE;
    }
    FtStatus SetFlowControl(uint16_t f, uint8_t on, uint8_t off) override {
        return active_ ? active_->SetFlowControl(f, on, off) : FT_INVALID_HANDLE;
    }
    FtStatus SetLatencyTimer(uint8_t ms) override {
        return active_ ? active_->SetLatencyTimer(ms) : FT_INVALID_HANDLE;
    }
    FtStatus Write(const uint8_t* d, uint32_t n, uint32_t* w) override {
        return active_ ? active_->Write(d, n, w) : FT_INVALID_HANDLE;
    }
    FtStatus Read(uint8_t* d, uint32_t n, uint32_t* r) override {
        return active_ ? active_->Read(d, n, r) : FT_INVALID_HANDLE;
    }
    FtStatus Close() override {
        if (!active_) return FT_INVALID_HANDLE;
        const FtStatus status = active_->Close();
        if (status != FT_OK) lastError_ = active_->LastError();
        active_.reset();
        return status;
    }
    QString LastError() const override {
        return active_ && !active_->LastError().isEmpty() ? active_->LastError() : lastError_;
    }

  private:
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

std::unique_ptr<Device> Create(const QString& choice, Clock& clock, QString* error) {
    if (!latency::FromEnvironment(error)) return nullptr;
    const qsizetype colon = choice.indexOf(u':');
    const QString name = colon < 0 ? choice : choice.left(colon);
    const QString argument = colon < 0 ? QString() : choice.mid(colon + 1);
    if (name == u"auto" && colon < 0) return std::make_unique<AutoDevice>(clock);
    if (const Backend* backend = Find(name)) return backend->make(argument, clock, error);
    if (error) {
        QStringList names{QStringLiteral("auto")};
        for (const Backend& backend : AllBackends()) names << QLatin1String(backend.name);
        *error = QStringLiteral("QLARKW_DEVICE: unknown device \"%1\" (use %2)")
                     .arg(choice, names.join(QStringLiteral(", ")));
    }
    return nullptr;
}

}  // namespace backends
