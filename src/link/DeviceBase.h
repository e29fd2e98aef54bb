#pragma once

#include <QString>
#include <utility>

#include "link/Device.h"

// What every backend shares: whether the device is open, and the words of the
// last failure.
//
// A backend refuses every call but OpenEx with FT_INVALID_HANDLE while
// isOpen() is false, and OpenEx with FT_DEVICE_NOT_OPENED while it is true.
// OpenEx starts with ClearError(); a failing call records its reason with
// Fail(), and LastError() gives it until the next one does.
class DeviceBase : public Device {
  public:
    QString LastError() const override { return lastError_; }

    // Whether OpenEx has succeeded and Close has not been called since.
    virtual bool isOpen() const = 0;

  protected:
    // Keeps `text` as the reason of the last failure and returns `status`.
    FtStatus Fail(FtStatus status, QString text) {
        lastError_ = std::move(text);
        return status;
    }
    void ClearError() { lastError_.clear(); }

  private:
    QString lastError_;
};
