#pragma once

#include "link/Device.h"

// A device that hands every call on to another one, its target: the base of
// the devices that stand in front of a device and change one or two of its
// calls (the `auto` backend's choice, --verbose's notes). Each overrides
// only what it changes and calls the base for the rest.
//
// Without a target every call is refused as by a device that was never
// opened: OpenEx with FT_DEVICE_NOT_FOUND, the others with
// FT_INVALID_HANDLE, and LastError() is empty.
class ForwardingDevice : public Device {
  public:
    explicit ForwardingDevice(Device* target = nullptr) : target_(target) {}

    FtStatus OpenEx(const QByteArray& description) override {
        return target_ ? target_->OpenEx(description) : FT_DEVICE_NOT_FOUND;
    }
    FtStatus Purge(uint32_t mask) override {
        return target_ ? target_->Purge(mask) : FT_INVALID_HANDLE;
    }
    FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override {
        return target_ ? target_->SetTimeouts(readMs, writeMs) : FT_INVALID_HANDLE;
    }
    FtStatus SetBaudRate(uint32_t baud) override {
        return target_ ? target_->SetBaudRate(baud) : FT_INVALID_HANDLE;
    }
    FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override {
        return target_ ? target_->SetDataCharacteristics(wordLength, stopBits, parity)
                       : FT_INVALID_HANDLE;
    }
    FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override {
        return target_ ? target_->SetFlowControl(flow, xon, xoff) : FT_INVALID_HANDLE;
    }
    FtStatus SetLatencyTimer(uint8_t ms) override {
        return target_ ? target_->SetLatencyTimer(ms) : FT_INVALID_HANDLE;
    }
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override {
        if (!target_ && written) *written = 0;
        return target_ ? target_->Write(data, size, written) : FT_INVALID_HANDLE;
    }
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override {
        if (!target_ && received) *received = 0;
        return target_ ? target_->Read(data, size, received) : FT_INVALID_HANDLE;
    }
    FtStatus Close() override { return target_ ? target_->Close() : FT_INVALID_HANDLE; }
    QString LastError() const override { return target_ ? target_->LastError() : QString(); }

  protected:
    Device* target() const { return target_; }
    void setTarget(Device* target) { target_ = target; }

  private:
    Device* target_;
};
