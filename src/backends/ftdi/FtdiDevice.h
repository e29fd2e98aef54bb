#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/DeviceBase.h"

// The Writer through libftdi1, straight on USB: the FTDI bridges on the bus
// are searched for the one whose USB description is the one asked for. While
// it is open the kernel's serial driver is detached from it; closing attaches
// the driver again, since every job opens and closes the device.
//
// A build without libftdi1 still has this backend: its open then fails with
// a reason that says so.
class FtdiDevice final : public DeviceBase {
  public:
    // `serial`: open only the bridge with this USB serial number (one
    // Writer of several); empty for the first with the description.
    explicit FtdiDevice(QString serial = {});
    ~FtdiDevice() override;
    FtdiDevice(const FtdiDevice&) = delete;
    FtdiDevice& operator=(const FtdiDevice&) = delete;

    // Whether this build has libftdi1.
    static bool Available();

    // A bridge on the bus whose USB description is the one asked for.
    struct Found {
        QString serial;    // its USB serial number; empty when it has none
        QString location;  // its place on the bus, "usb 1-1.2" (bus 1, hub port 1, port 2)
    };
    // Every such bridge, in the bus's order; with `error` set (and maybe
    // some found) when the bus cannot be listed or a bridge cannot be read.
    static std::vector<Found> ListWriters(const QByteArray& description, QString* error);

    FtStatus OpenEx(const QByteArray& description) override;
    FtStatus Purge(uint32_t mask) override;
    FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override;
    FtStatus SetBaudRate(uint32_t baud) override;
    FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override;
    FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override;
    FtStatus SetLatencyTimer(uint8_t ms) override;
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override;
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override;
    FtStatus Close() override;

    bool isOpen() const override;

  private:
    struct Context;  // libftdi's context; ftdi.h stays inside the source file
    QString serial_;
    std::unique_ptr<Context> context_;
    uint32_t readTimeoutMs_ = 0;
    uint32_t writeTimeoutMs_ = 0;
};
