#include "link/Backends.h"

#include <functional>
#include <vector>

#include "link/sim/SimDevice.h"
#include "sim/FirmwareModel.h"

namespace backends {
namespace {

struct Backend {
    const char* name;
    // Builds the device; `argument` is what follows "name:" in the spec.
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
    return std::make_unique<SimDevice>(clock, std::move(options));
}

// Real hardware backends, in the order `auto` tries them.
const std::vector<Backend>& HardwareBackends() {
    static const std::vector<Backend> list = {};
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
        for (const Backend& backend : HardwareBackends()) {
            QString error;
            std::unique_ptr<Device> device = backend.make(QString(), clock_, &error);
            if (!device) {
                reasons << QStringLiteral("%1: %2").arg(QLatin1String(backend.name), error);
                continue;
            }
            const FtStatus status = device->OpenEx(description);
            if (status == FT_OK) {
                active_ = std::move(device);
                lastError_.clear();
                return FT_OK;
            }
            reasons << QStringLiteral("%1: %2").arg(QLatin1String(backend.name),
                                                    device->LastError().isEmpty()
                                                        ? QLatin1String(FtStatusName(status))
                                                        : device->LastError());
        }
        if (reasons.isEmpty()) reasons << QStringLiteral("no hardware backend is built in");
        lastError_ = QStringLiteral("no Writer found (") + reasons.join(QStringLiteral("; ")) +
                     QStringLiteral(")");
        return FT_DEVICE_NOT_FOUND;
    }
    FtStatus Purge(uint32_t mask) override { return active_ ? active_->Purge(mask) : FT_INVALID_HANDLE; }
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

QString SpecFromEnvironment() {
    const QString spec = qEnvironmentVariable(kEnvDevice).trimmed();
    return spec.isEmpty() ? QStringLiteral("auto") : spec;
}

QStringList AutoOrder() {
    QStringList names;
    for (const Backend& backend : HardwareBackends()) names << QLatin1String(backend.name);
    return names;
}

std::unique_ptr<Device> Create(const QString& spec, Clock& clock, QString* error) {
    const qsizetype colon = spec.indexOf(u':');
    const QString name = colon < 0 ? spec : spec.left(colon);
    const QString argument = colon < 0 ? QString() : spec.mid(colon + 1);
    if (name == u"auto" && colon < 0) return std::make_unique<AutoDevice>(clock);
    if (name == u"sim") return MakeSim(argument, clock, error);
    for (const Backend& backend : HardwareBackends()) {
        if (name == QLatin1String(backend.name)) return backend.make(argument, clock, error);
    }
    if (error) {
        *error = QStringLiteral("QLARKW_DEVICE: unknown device \"%1\" (use auto, sim%2)")
                     .arg(spec, AutoOrder().isEmpty()
                                    ? QString()
                                    : QStringLiteral(", ") + AutoOrder().join(QStringLiteral(", ")));
    }
    return nullptr;
}

}  // namespace backends
