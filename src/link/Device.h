#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "link/protocol/D2xxCodes.h"

// The Writer as a USB-serial device, shaped like the vendor's D2XX calls:
// every call returns a status, FT_OK (0) for success. A read that times out
// returns FT_OK with fewer bytes than asked for. One Device object is opened
// and closed again by each job; a backend may be opened many times.
using FtStatus = uint32_t;

enum : FtStatus {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    // Not one of D2XX's: the Writer is there, but this user may not open it
    // (no udev rule, not in the dialout group).
    FT_NO_PERMISSION = 0x100,
};

// A short English name of a status, for diagnostics ("FT_IO_ERROR").
const char* FtStatusName(FtStatus status);

class Device {
  public:
    virtual ~Device() = default;

    // Opens the device whose USB description is `description` (D2XX's open
    // by description).
    virtual FtStatus OpenEx(const QByteArray& description) = 0;
    virtual FtStatus Purge(uint32_t mask) = 0;
    virtual FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
    virtual FtStatus SetBaudRate(uint32_t baud) = 0;
    virtual FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits,
                                            uint8_t parity) = 0;
    virtual FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) = 0;
    // Sets the bridge's latency timer: how long it holds a reply shorter
    // than its USB packet before sending it on. FT_NOT_SUPPORTED when this
    // device has no such timer or no way to reach it; the link then goes on
    // without it.
    virtual FtStatus SetLatencyTimer(uint8_t ms) {
        (void)ms;
        return FT_NOT_SUPPORTED;
    }
    virtual FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) = 0;
    virtual FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) = 0;
    virtual FtStatus Close() = 0;

    // Why the last failing call failed, in words a user can act on ("no
    // device with that description", "libftdi1 is not installed"). Empty when
    // there is nothing to add to the status.
    virtual QString LastError() const { return {}; }
};
