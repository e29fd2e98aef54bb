#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "link/Device.h"

namespace cli {

// --verbose: the device as the jobs see it, telling when the bridge's
// latency timer could not be set (the job goes on, only slower).
class VerboseDevice final : public Device {
  public:
    VerboseDevice(std::unique_ptr<Device> inner, std::function<void(const QString&)> say)
        : inner_(std::move(inner)), say_(std::move(say)) {}
    FtStatus OpenEx(const QByteArray& d) override { return inner_->OpenEx(d); }
    FtStatus Purge(uint32_t m) override { return inner_->Purge(m); }
    FtStatus SetTimeouts(uint32_t r, uint32_t w) override { return inner_->SetTimeouts(r, w); }
    FtStatus SetBaudRate(uint32_t b) override { return inner_->SetBaudRate(b); }
    FtStatus SetDataCharacteristics(uint8_t w, uint8_t s, uint8_t p) override {
        return inner_->SetDataCharacteristics(w, s, p);
    }
    FtStatus SetFlowControl(uint16_t f, uint8_t on, uint8_t off) override {
        return inner_->SetFlowControl(f, on, off);
    }
    FtStatus SetLatencyTimer(uint8_t ms) override;
    FtStatus Write(const uint8_t* d, uint32_t n, uint32_t* w) override {
        return inner_->Write(d, n, w);
    }
    FtStatus Read(uint8_t* d, uint32_t n, uint32_t* r) override { return inner_->Read(d, n, r); }
    FtStatus Close() override { return inner_->Close(); }
    QString LastError() const override { return inner_->LastError(); }

  private:
    std::unique_ptr<Device> inner_;
    std::function<void(const QString&)> say_;
};

}  // namespace cli
