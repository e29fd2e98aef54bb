#pragma once

#include <QString>
#include <cstdint>

#include "link/DeviceBase.h"
#include "link/protocol/D2xxCodes.h"

// The Writer through the system's own serial driver: a tty on Linux and
// macOS (FTDI's kernel driver), a COM port on Windows.
//
// The port is opened exclusively and set raw: no echo, no line editing, no
// translation of bytes, no flow control until SetFlowControl asks for one.
// The latency timer of the bridge behind the tty is set, on Linux, through
// the port's sysfs `latency_timer` attribute where it may be written, and
// through the tty's low-latency flag (which FTDI's driver turns into a 1 ms
// timer; no root needed). A tty without either (a pty) reports
// FT_NOT_SUPPORTED.
//
// Reads wait for their bytes until the read time-out has passed and then
// return FT_OK with what has arrived, as D2XX does; a port that hangs up (the
// Writer unplugged, the simulator gone) fails the read with FT_IO_ERROR.
class SerialDevice final : public DeviceBase {
  public:
    struct Options {
        // The port to open ("/dev/ttyUSB0", a qlarkw-sim pty, "COM3"). When
        // empty, OpenEx looks for the port whose USB product string is the
        // description it is given.
        QString path;
        // Where that search looks (Linux): the sysfs root and the folder of
        // the device nodes.
        QString sysfsRoot = QStringLiteral("/sys");
        QString devRoot = QStringLiteral("/dev");
    };

    explicit SerialDevice(Options options);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

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
    // The port that was opened last (found or given).
    QString portPath() const { return portPath_; }

  private:
    // The port to open: the one given, or the one found by its USB product
    // string. Fails when the device is open already or no port matches.
    FtStatus ChoosePort(const QByteArray& description, QString* path);
    // The port's own part of SetDataCharacteristics: sets a line setting
    // that has been checked already.
    FtStatus SetLineSetting(uint8_t wordLength, uint8_t stopBits, uint8_t parity);

    Options options_;
    QString portPath_;
    uint32_t readTimeoutMs_ = 0;  // until set, a read returns what is there
    uint32_t writeTimeoutMs_ = 0;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};
