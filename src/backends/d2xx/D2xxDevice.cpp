#include "backends/d2xx/D2xxDevice.h"

#include <algorithm>

namespace {

template <typename Fn>
bool Resolve(QLibrary& library, const char* name, Fn* out, QStringList* missing) {
    *out = reinterpret_cast<Fn>(library.resolve(name));
    if (!*out) *missing << QLatin1String(name);
    return *out != nullptr;
}

}  // namespace

QStringList D2xxLibrary::DefaultNames() {
#if defined(_WIN32)
    return {QStringLiteral("ftd2xx.dll")};
#elif defined(__APPLE__)
    return {QStringLiteral("libftd2xx.dylib"), QStringLiteral("/usr/local/lib/libftd2xx.dylib")};
#else
    return {QStringLiteral("libftd2xx.so"), QStringLiteral("/usr/local/lib/libftd2xx.so")};
#endif
}

std::unique_ptr<D2xxLibrary> D2xxLibrary::Load(const QString& file, QString* error) {
    std::unique_ptr<D2xxLibrary> lib(new D2xxLibrary);
    const QStringList candidates = file.isEmpty() ? DefaultNames() : QStringList{file};
    QStringList failures;
    bool loaded = false;
    for (const QString& name : candidates) {
        lib->library_.setFileName(name);
        lib->library_.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (lib->library_.load()) {
            loaded = true;
            break;
        }
        failures << lib->library_.errorString();
    }
    if (!loaded) {
        if (error) {
            // The loader's own words only for a file the user named: for the
            // default names they would just repeat "not found".
            *error = file.isEmpty()
                         ? QStringLiteral("the FTDI D2XX library is not installed (tried %1)")
                               .arg(candidates.join(QStringLiteral(", ")))
                         : QStringLiteral("cannot load the D2XX library %1: %2")
                               .arg(file, failures.join(QStringLiteral("; ")));
        }
        return nullptr;
    }
    QStringList missing;
    Calls& c = lib->calls_;
    QLibrary& l = lib->library_;
    Resolve(l, "FT_OpenEx", &c.openEx, &missing);
    Resolve(l, "FT_Purge", &c.purge, &missing);
    Resolve(l, "FT_SetTimeouts", &c.setTimeouts, &missing);
    Resolve(l, "FT_SetBaudRate", &c.setBaudRate, &missing);
    Resolve(l, "FT_SetDataCharacteristics", &c.setDataCharacteristics, &missing);
    Resolve(l, "FT_SetFlowControl", &c.setFlowControl, &missing);
    Resolve(l, "FT_Write", &c.write, &missing);
    Resolve(l, "FT_Read", &c.read, &missing);
    Resolve(l, "FT_Close", &c.close, &missing);
    // Not in every build of the library: a Writer is still opened and used
    // without them.
    QStringList optional;
    Resolve(l, "FT_CreateDeviceInfoList", &c.createDeviceInfoList, &optional);
    Resolve(l, "FT_GetDeviceInfoDetail", &c.getDeviceInfoDetail, &optional);
    Resolve(l, "FT_SetLatencyTimer", &c.setLatencyTimer, &optional);
    if (!missing.isEmpty()) {
        if (error) {
            *error = QStringLiteral("%1 is not a usable D2XX library: it lacks %2")
                         .arg(l.fileName(), missing.join(QStringLiteral(", ")));
        }
        l.unload();
        return nullptr;
    }
    return lib;
}

D2xxDevice::D2xxDevice(QString libraryFile, QString serial)
    : libraryFile_(std::move(libraryFile)), serial_(std::move(serial)) {}

std::vector<D2xxDevice::Found> D2xxDevice::ListWriters(const QString& libraryFile,
                                                       const QByteArray& description,
                                                       QString* error) {
    std::vector<Found> found;
    const std::unique_ptr<D2xxLibrary> library = D2xxLibrary::Load(libraryFile, error);
    if (!library) return found;
    const D2xxLibrary::Calls& calls = library->calls();
    if (!calls.createDeviceInfoList || !calls.getDeviceInfoDetail) {
        if (error)
            *error = QStringLiteral(
                         "%1 has no device-info list (FT_CreateDeviceInfoList, "
                         "FT_GetDeviceInfoDetail)")
                         .arg(library->fileName());
        return found;
    }
    D2xxLibrary::Dword count = 0;
    if (const FtStatus status = calls.createDeviceInfoList(&count); status != FT_OK) {
        if (error)
            *error = QStringLiteral("FT_CreateDeviceInfoList returned %1 (%2)")
                         .arg(status)
                         .arg(QLatin1String(FtStatusName(status)));
        return found;
    }
    for (D2xxLibrary::Dword index = 0; index < count; ++index) {
        D2xxLibrary::Dword flags = 0, type = 0, id = 0, location = 0;
        // One more byte than the library fills, so the strings always end.
        char serial[D2xxLibrary::kSerialBufferSize + 1] = {};
        char text[D2xxLibrary::kDescriptionBufferSize + 1] = {};
        D2xxLibrary::Handle handle = nullptr;
        if (calls.getDeviceInfoDetail(index, &flags, &type, &id, &location, serial, text,
                                      &handle) != FT_OK)
            continue;
        if (QByteArray(text) != description || serial[0] == '\0') continue;
        found.push_back({QString::fromLatin1(serial).trimmed(),
                         QStringLiteral("location 0x%1").arg(location, 0, 16)});
    }
    return found;
}

D2xxDevice::~D2xxDevice() {
    if (isOpen()) Close();
}

FtStatus D2xxDevice::Checked(FtStatus status, const char* call) {
    if (status == FT_OK) return FT_OK;
    return Fail(status, QStringLiteral("%1 returned %2 (%3)")
                            .arg(QLatin1String(call))
                            .arg(status)
                            .arg(QLatin1String(FtStatusName(status))));
}

FtStatus D2xxDevice::OpenEx(const QByteArray& description) {
    ClearError();
    if (isOpen())
        return Fail(FT_DEVICE_NOT_OPENED, QStringLiteral("the D2XX device is already open"));
    if (!library_) {
        QString error;
        library_ = D2xxLibrary::Load(libraryFile_, &error);
        if (!library_) return Fail(FT_DEVICE_NOT_FOUND, error);
    }
    // The library wants a NUL-terminated 8-bit string it may not change.
    // One Writer of several is opened by its serial number.
    const bool bySerial = !serial_.isEmpty();
    QByteArray text = bySerial ? serial_.toLatin1() : description;
    D2xxLibrary::Handle handle = nullptr;
    const FtStatus status = library_->calls().openEx(
        text.data(), bySerial ? D2xxLibrary::kOpenBySerialNumber : D2xxLibrary::kOpenByDescription,
        &handle);
    if (status != FT_OK || handle == nullptr) {
        return Fail(status != FT_OK ? status : FT_INVALID_HANDLE,
                    status == FT_DEVICE_NOT_FOUND
                        ? QStringLiteral("no device with the %1 \"%2\" (D2XX, %3)")
                              .arg(bySerial ? QStringLiteral("serial number")
                                            : QStringLiteral("description"),
                                   QString::fromLatin1(text), library_->fileName())
                        : QStringLiteral("FT_OpenEx returned %1 (%2)")
                              .arg(status)
                              .arg(QLatin1String(FtStatusName(status))));
    }
    handle_ = handle;
    return FT_OK;
}

FtStatus D2xxDevice::Purge(uint32_t mask) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    return Checked(library_->calls().purge(handle_, mask), "FT_Purge");
}

FtStatus D2xxDevice::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    return Checked(library_->calls().setTimeouts(handle_, readMs, writeMs), "FT_SetTimeouts");
}

FtStatus D2xxDevice::SetBaudRate(uint32_t baud) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    return Checked(library_->calls().setBaudRate(handle_, baud), "FT_SetBaudRate");
}

FtStatus D2xxDevice::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    return Checked(library_->calls().setDataCharacteristics(handle_, wordLength, stopBits, parity),
                   "FT_SetDataCharacteristics");
}

FtStatus D2xxDevice::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    return Checked(library_->calls().setFlowControl(handle_, flow, xon, xoff), "FT_SetFlowControl");
}

FtStatus D2xxDevice::SetLatencyTimer(uint8_t ms) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (!library_->calls().setLatencyTimer)
        return Fail(FT_NOT_SUPPORTED,
                    QStringLiteral("%1 has no FT_SetLatencyTimer").arg(library_->fileName()));
    return Checked(
        library_->calls().setLatencyTimer(handle_, std::max(ms, D2xxLibrary::kMinLatencyMs)),
        "FT_SetLatencyTimer");
}

FtStatus D2xxDevice::Write(const uint8_t* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    D2xxLibrary::Dword done = 0;
    // FT_Write takes a non-const buffer but only reads it.
    const FtStatus status =
        library_->calls().write(handle_, const_cast<uint8_t*>(data), size, &done);
    if (written) *written = done;
    return Checked(status, "FT_Write");
}

FtStatus D2xxDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    D2xxLibrary::Dword got = 0;
    const FtStatus status = library_->calls().read(handle_, data, size, &got);
    if (received) *received = got;
    return Checked(status, "FT_Read");
}

FtStatus D2xxDevice::Close() {
    if (!isOpen()) return FT_INVALID_HANDLE;
    const FtStatus status = library_->calls().close(handle_);
    handle_ = nullptr;
    return Checked(status, "FT_Close");
}
