#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "link/ForwardingDevice.h"

namespace cli {

// The device as the jobs see it, keeping the status of its last open (a
// Writer the user may not open is told apart); with --verbose (`say` set)
// it tells when the bridge's latency timer could not be set (the job goes
// on, only slower).
class VerboseDevice final : public ForwardingDevice {
  public:
    VerboseDevice(std::unique_ptr<Device> inner, std::function<void(const QString&)> say)
        : ForwardingDevice(inner.get()), inner_(std::move(inner)), say_(std::move(say)) {}
    FtStatus OpenEx(const QByteArray& description) override {
        return openStatus_ = ForwardingDevice::OpenEx(description);
    }
    FtStatus openStatus() const { return openStatus_; }
    FtStatus SetLatencyTimer(uint8_t ms) override;

  private:
    std::unique_ptr<Device> inner_;
    std::function<void(const QString&)> say_;
    FtStatus openStatus_ = FT_OK;
};

}  // namespace cli
