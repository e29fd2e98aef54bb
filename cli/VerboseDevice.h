#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "link/ForwardingDevice.h"

namespace cli {

// --verbose: the device as the jobs see it, telling when the bridge's
// latency timer could not be set (the job goes on, only slower).
class VerboseDevice final : public ForwardingDevice {
  public:
    VerboseDevice(std::unique_ptr<Device> inner, std::function<void(const QString&)> say)
        : ForwardingDevice(inner.get()), inner_(std::move(inner)), say_(std::move(say)) {}
    FtStatus SetLatencyTimer(uint8_t ms) override;

  private:
    std::unique_ptr<Device> inner_;
    std::function<void(const QString&)> say_;
};

}  // namespace cli
