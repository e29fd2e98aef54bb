#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/DeviceBase.h"

// The vendor's D2XX library, loaded when the backend is first opened; the
// program has no build dependency on it. Its nine calls are resolved by name
// (and the latency call where the library has it)
// with the types the library declares: FT_STATUS and DWORD are 32-bit on
// every platform, handles are pointers, and on 32-bit Windows the calls are
// __stdcall.
class D2xxLibrary {
  public:
#if defined(_WIN32) && !defined(_WIN64)
#define QLARKW_D2XX_CALL __stdcall
#else
#define QLARKW_D2XX_CALL
#endif
    using Handle = void*;
    using Status = uint32_t;  // FT_STATUS
    using Dword = uint32_t;   // DWORD, ULONG

    using OpenExFn = Status(QLARKW_D2XX_CALL*)(void* arg, Dword flags, Handle* handle);
    using PurgeFn = Status(QLARKW_D2XX_CALL*)(Handle, Dword mask);
    using SetTimeoutsFn = Status(QLARKW_D2XX_CALL*)(Handle, Dword readMs, Dword writeMs);
    using SetBaudRateFn = Status(QLARKW_D2XX_CALL*)(Handle, Dword baud);
    using SetDataCharacteristicsFn = Status(QLARKW_D2XX_CALL*)(Handle, uint8_t wordLength,
                                                               uint8_t stopBits, uint8_t parity);
    using SetFlowControlFn = Status(QLARKW_D2XX_CALL*)(Handle, uint16_t flow, uint8_t xon,
                                                       uint8_t xoff);
    using WriteFn = Status(QLARKW_D2XX_CALL*)(Handle, void* buffer, Dword size, Dword* written);
    using ReadFn = Status(QLARKW_D2XX_CALL*)(Handle, void* buffer, Dword size, Dword* received);
    using CloseFn = Status(QLARKW_D2XX_CALL*)(Handle);
    // The device-info list, for listing the Writers; a library without it
    // still opens a Writer by its description.
    using CreateDeviceInfoListFn = Status(QLARKW_D2XX_CALL*)(Dword* count);
    using GetDeviceInfoDetailFn = Status(QLARKW_D2XX_CALL*)(Dword index, Dword* flags, Dword* type,
                                                            Dword* id, Dword* locationId,
                                                            void* serial, void* description,
                                                            Handle* handle);
    using SetLatencyTimerFn = Status(QLARKW_D2XX_CALL*)(Handle, uint8_t ms);
#undef QLARKW_D2XX_CALL

    static constexpr Dword kOpenBySerialNumber = 1;
    static constexpr Dword kOpenByDescription = 2;
    // FT_GetDeviceInfoDetail: the device is open in another process (its
    // strings then read empty); the sizes of its two string buffers.
    static constexpr Dword kFlagOpened = 1;
    static constexpr int kSerialBufferSize = 16;
    static constexpr int kDescriptionBufferSize = 64;

    struct Calls {
        OpenExFn openEx = nullptr;
        PurgeFn purge = nullptr;
        SetTimeoutsFn setTimeouts = nullptr;
        SetBaudRateFn setBaudRate = nullptr;
        SetDataCharacteristicsFn setDataCharacteristics = nullptr;
        SetFlowControlFn setFlowControl = nullptr;
        WriteFn write = nullptr;
        ReadFn read = nullptr;
        CloseFn close = nullptr;
        CreateDeviceInfoListFn createDeviceInfoList = nullptr;  // optional
        GetDeviceInfoDetailFn getDeviceInfoDetail = nullptr;    // optional
        // Not every build of the library has it: missing is not an error.
        SetLatencyTimerFn setLatencyTimer = nullptr;
    };

    // The lowest latency FT_SetLatencyTimer takes.
    static constexpr uint8_t kMinLatencyMs = 2;

    // The file names the library has on this platform, tried in order when
    // no file is given.
    static QStringList DefaultNames();

    // Loads `file` (a name the system's loader searches for, or a path), or
    // the first of DefaultNames() that loads when `file` is empty. Returns
    // nothing with `error` set when no library loads or a call is missing.
    static std::unique_ptr<D2xxLibrary> Load(const QString& file, QString* error);

    const Calls& calls() const {
        return calls_;
    }
    QString fileName() const {
        return library_.fileName();
    }

  private:
    D2xxLibrary() = default;
    QLibrary library_;
    Calls calls_;
};

// The Writer through the D2XX library. The library is loaded at the first
// OpenEx; when it is missing the open fails with FT_DEVICE_NOT_FOUND and a
// reason that says what to install.
class D2xxDevice final : public DeviceBase {
  public:
    // `libraryFile`: the library to load; empty for the platform's names.
    // `serial`: open the device with this serial number (one Writer of
    // several) instead of the first with the description OpenEx is given.
    explicit D2xxDevice(QString libraryFile = {}, QString serial = {});
    ~D2xxDevice() override;

    // A device in the library's device-info list whose description is the
    // one asked for.
    struct Found {
        QString serial;
        QString location;  // "location 0x1234", the library's location id
    };
    // Every such device; with `error` set when the library does not load or
    // has no device-info list. A device open in another process is listed
    // only when its serial number can still be read.
    static std::vector<Found> ListWriters(const QString& libraryFile, const QByteArray& description,
                                          QString* error);

    FtStatus OpenEx(const QByteArray& description) override;
    FtStatus Purge(uint32_t mask) override;
    FtStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override;
    FtStatus SetBaudRate(uint32_t baud) override;
    FtStatus SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) override;
    FtStatus SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) override;
    // FT_SetLatencyTimer, with 1 ms raised to the library's lowest, 2 ms.
    FtStatus SetLatencyTimer(uint8_t ms) override;
    FtStatus Write(const uint8_t* data, uint32_t size, uint32_t* written) override;
    FtStatus Read(uint8_t* data, uint32_t size, uint32_t* received) override;
    FtStatus Close() override;

    bool isOpen() const override { return handle_ != nullptr; }

  private:
    FtStatus Checked(FtStatus status, const char* call);

    QString libraryFile_;
    QString serial_;
    std::unique_ptr<D2xxLibrary> library_;
    D2xxLibrary::Handle handle_ = nullptr;
};
