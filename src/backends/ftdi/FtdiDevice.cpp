#include "backends/ftdi/FtdiDevice.h"

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <thread>

#include "link/protocol/D2xxCodes.h"

#ifdef QLARKW_HAVE_LIBFTDI1
// Kept to this file: its enums (NONE, ODD, BITS_8, ...) are unscoped.
#include <ftdi.h>
#include <libusb.h>
#endif

#ifdef QLARKW_HAVE_LIBFTDI1

namespace {

// libftdi1's context, freed with it.
struct FreeFtdi {
    void operator()(ftdi_context* ftdi) const { ftdi_free(ftdi); }
};
using FtdiHandle = std::unique_ptr<ftdi_context, FreeFtdi>;

}  // namespace

struct FtdiDevice::Context {
    FtdiHandle ftdi;
    bool open = false;
};

namespace {

using SteadyTime = std::chrono::steady_clock;

// What libftdi1's calls return for the failures told apart here; any other
// negative return is a failure the backend reports with libftdi1's own words.
//
// ftdi_usb_get_strings2: libusb could not open the device, which for a
// bridge it has just listed usually means no permission on its node.
constexpr int kStringsCannotOpenDevice = -4;
// ftdi_usb_open_dev: the device may not be claimed from the kernel's driver
// ("inappropriate permissions on device"). libftdi1 also returns this for a
// missing context, which this backend never passes.
constexpr int kOpenDevNoPermission = -8;

// The room for one USB string of a bridge, its end included; a USB string
// descriptor holds at most 126 characters.
constexpr int kUsbStringBytes = 128;

const QString kNoLibusb = QStringLiteral("libftdi1 could not start libusb (no USB access here?)");

QString FtdiError(ftdi_context* ftdi) {
    return QString::fromLocal8Bit(ftdi_get_error_string(ftdi));
}

// "usb 1-1.2", as the kernel names the device: the bus, then the port of
// every hub on the way.
QString UsbLocation(libusb_device* device) {
    uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    QString location = QStringLiteral("usb %1").arg(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i) location += (i == 0 ? u'-' : u'.') + QString::number(ports[i]);
    return location;
}

// The FTDI bridges on the bus (vendor and product 0: those with their
// factory ids) and their strings, read without taking any bridge from its
// driver. The list holds the bridges' libusb devices until it ends.
class BridgeList {
  public:
    struct Bridge {
        libusb_device* device;
        QByteArray product;
        QString serial;
        // Why the strings could not be read (usually no permission on the
        // device: the udev rule gives it); empty when they were.
        QString unreadable;
        bool noPermission = false;  // this user may not open the device
    };

    explicit BridgeList(ftdi_context* ftdi) {
        const int count = ftdi_usb_find_all(ftdi, &list_, 0, 0);
        if (count < 0) {
            error_ = QStringLiteral("cannot list the USB devices: %1").arg(FtdiError(ftdi));
            return;
        }
        for (ftdi_device_list* item = list_; item != nullptr; item = item->next) {
            char product[kUsbStringBytes] = {};
            char serial[kUsbStringBytes] = {};
            const int result = ftdi_usb_get_strings2(ftdi, item->dev, nullptr, 0, product,
                                                     sizeof product, serial, sizeof serial);
            Bridge bridge{item->dev, QByteArray(product), QString::fromLatin1(serial).trimmed(),
                          QString()};
            bridge.noPermission = result == kStringsCannotOpenDevice;
            if (result < 0)
                bridge.unreadable =
                    FtdiError(ftdi) +
                    (bridge.noPermission
                         ? QStringLiteral("; install the udev rule 70-qlark-writer.rules")
                         : QString());
            bridges_.push_back(std::move(bridge));
        }
    }
    ~BridgeList() {
        if (list_) ftdi_list_free(&list_);
    }
    BridgeList(const BridgeList&) = delete;
    BridgeList& operator=(const BridgeList&) = delete;

    // Why the bus could not be listed; empty when it was.
    const QString& error() const { return error_; }
    const std::vector<Bridge>& bridges() const { return bridges_; }

  private:
    ftdi_device_list* list_ = nullptr;
    std::vector<Bridge> bridges_;
    QString error_;
};

}  // namespace

FtdiDevice::FtdiDevice(QString serial)
    : serial_(std::move(serial)), context_(std::make_unique<Context>()) {}

FtdiDevice::~FtdiDevice() {
    if (isOpen()) Close();
}

bool FtdiDevice::Available() {
    return true;
}

std::vector<FtdiDevice::Found> FtdiDevice::ListWriters(const QByteArray& description,
                                                       QString* error) {
    std::vector<Found> found;
    const FtdiHandle ftdi(ftdi_new());
    if (!ftdi) {
        if (error) *error = kNoLibusb;
        return found;
    }
    const BridgeList list(ftdi.get());
    if (!list.error().isEmpty()) {
        if (error) *error = list.error();
        return found;
    }
    QStringList unreadable;
    for (const BridgeList::Bridge& bridge : list.bridges()) {
        if (!bridge.unreadable.isEmpty()) {
            unreadable << QStringLiteral("%1 (%2)").arg(UsbLocation(bridge.device),
                                                        bridge.unreadable);
            continue;
        }
        if (bridge.product == description)
            found.push_back({bridge.serial, UsbLocation(bridge.device)});
    }
    if (error && !unreadable.isEmpty())
        *error = QStringLiteral("FTDI bridges whose strings cannot be read: ") +
                 unreadable.join(QStringLiteral(", "));
    return found;
}

bool FtdiDevice::isOpen() const {
    return context_->open;
}

FtStatus FtdiDevice::OpenEx(const QByteArray& description) {
    ClearError();
    if (isOpen())
        return Fail(FT_DEVICE_NOT_OPENED, QStringLiteral("the FTDI device is already open"));
    if (!context_->ftdi) {
        context_->ftdi.reset(ftdi_new());
        if (!context_->ftdi) return Fail(FT_DEVICE_NOT_FOUND, kNoLibusb);
    }
    ftdi_context* ftdi = context_->ftdi.get();
    // Take the bridge from the kernel's serial driver while we have it, and
    // give it back at ftdi_usb_close().
    ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    const BridgeList list(ftdi);
    if (!list.error().isEmpty()) return Fail(FT_DEVICE_NOT_FOUND, list.error());
    QStringList seen;
    bool unreadable = false;  // a bridge this user may not open, maybe the Writer
    libusb_device* match = nullptr;
    for (const BridgeList::Bridge& bridge : list.bridges()) {
        if (!bridge.unreadable.isEmpty()) {
            // Usually no permission on the device: the udev rule gives it.
            unreadable = unreadable || bridge.noPermission;
            seen << QStringLiteral("a bridge whose strings cannot be read (%1)")
                        .arg(bridge.unreadable);
            continue;
        }
        if (bridge.product != description) {
            seen << QStringLiteral("\"%1\"").arg(QString::fromLatin1(bridge.product));
            continue;
        }
        if (serial_.isEmpty() || serial_ == bridge.serial) {
            match = bridge.device;
            break;
        }
        seen << QStringLiteral("\"%1\" serial %2")
                    .arg(QString::fromLatin1(bridge.product), bridge.serial);
    }
    if (!match) {
        QString why = QStringLiteral("no FTDI device with the description \"%1\"")
                          .arg(QString::fromLatin1(description));
        if (!serial_.isEmpty()) why += QStringLiteral(" and the serial number %1").arg(serial_);
        if (list.bridges().empty())
            why += QStringLiteral(" (no FTDI device on the USB bus)");
        else
            why += QStringLiteral(" (found %1)").arg(seen.join(QStringLiteral(", ")));
        if (unreadable) why += QStringLiteral("; run qlarkw-cli doctor");
        return Fail(unreadable ? FT_NO_PERMISSION : FT_DEVICE_NOT_FOUND, why);
    }
    const int opened = ftdi_usb_open_dev(ftdi, match);
    if (opened < 0)
        return Fail(opened == kOpenDevNoPermission ? FT_NO_PERMISSION : FT_DEVICE_NOT_OPENED,
                    QStringLiteral("cannot open the FTDI device \"%1\": %2%3")
                        .arg(QString::fromLatin1(description), FtdiError(ftdi),
                             opened == kOpenDevNoPermission
                                 ? QStringLiteral(" (install the udev rule 70-qlark-writer.rules; "
                                                  "run qlarkw-cli doctor)")
                                 : QString()));
    context_->open = true;
    readTimeoutMs_ = 0;
    writeTimeoutMs_ = 0;
    return FT_OK;
}

FtStatus FtdiDevice::Purge(uint32_t mask) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    ftdi_context* ftdi = context_->ftdi.get();
    int result = 0;
    if ((mask & FT_PURGE_RX) && (mask & FT_PURGE_TX))
        result = ftdi_tcioflush(ftdi);
    else if (mask & FT_PURGE_RX)
        result = ftdi_tciflush(ftdi);
    else if (mask & FT_PURGE_TX)
        result = ftdi_tcoflush(ftdi);
    if (result < 0) return Fail(FT_IO_ERROR, FtdiError(ftdi));
    return FT_OK;
}

FtStatus FtdiDevice::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    context_->ftdi->usb_write_timeout = writeMs == 0 ? 1000 : static_cast<int>(writeMs);
    return FT_OK;
}

FtStatus FtdiDevice::SetBaudRate(uint32_t baud) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (ftdi_set_baudrate(context_->ftdi.get(), static_cast<int>(baud)) < 0)
        return Fail(FT_INVALID_BAUD_RATE, FtdiError(context_->ftdi.get()));
    return FT_OK;
}

FtStatus FtdiDevice::SetDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    using namespace d2xxcodes;
    if (!isOpen()) return FT_INVALID_HANDLE;
    if (!IsLineSetting(wordLength, stopBits, parity))
        return Fail(FT_INVALID_PARAMETER, QStringLiteral("no such line setting"));
    static constexpr ftdi_parity_type kParities[] = {NONE, ODD, EVEN, MARK, SPACE};
    const int result =
        ftdi_set_line_property(context_->ftdi.get(), wordLength == kBits7 ? BITS_7 : BITS_8,
                               stopBits == kStopBits2 ? STOP_BIT_2 : STOP_BIT_1, kParities[parity]);
    if (result < 0) return Fail(FT_IO_ERROR, FtdiError(context_->ftdi.get()));
    return FT_OK;
}

FtStatus FtdiDevice::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    using namespace d2xxcodes;
    if (!isOpen()) return FT_INVALID_HANDLE;
    ftdi_context* ftdi = context_->ftdi.get();
    int result = 0;
    switch (flow) {
        case kFlowNone:
            result = ftdi_setflowctrl(ftdi, SIO_DISABLE_FLOW_CTRL);
            break;
        case kFlowRtsCts:
            result = ftdi_setflowctrl(ftdi, SIO_RTS_CTS_HS);
            break;
        case kFlowDtrDsr:
            result = ftdi_setflowctrl(ftdi, SIO_DTR_DSR_HS);
            break;
        case kFlowXonXoff:
            result = ftdi_setflowctrl_xonxoff(ftdi, xon, xoff);
            break;
        default:
            return Fail(FT_INVALID_PARAMETER, QStringLiteral("no such flow control"));
    }
    if (result < 0) return Fail(FT_IO_ERROR, FtdiError(ftdi));
    return FT_OK;
}

FtStatus FtdiDevice::SetLatencyTimer(uint8_t ms) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    // libftdi1 takes 1 to 255 ms; 0 is no latency a bridge has.
    if (ms == 0) return Fail(FT_INVALID_PARAMETER, QStringLiteral("no latency of 0 ms"));
    if (ftdi_set_latency_timer(context_->ftdi.get(), ms) < 0)
        return Fail(FT_IO_ERROR, QStringLiteral("cannot set the latency timer: %1")
                                     .arg(FtdiError(context_->ftdi.get())));
    return FT_OK;
}

FtStatus FtdiDevice::Write(const uint8_t* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    const int result = ftdi_write_data(context_->ftdi.get(), data, static_cast<int>(size));
    if (result < 0) return Fail(FT_IO_ERROR, FtdiError(context_->ftdi.get()));
    if (written) *written = static_cast<uint32_t>(result);
    return FT_OK;
}

FtStatus FtdiDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    ftdi_context* ftdi = context_->ftdi.get();
    // ftdi_read_data returns at once with what the bridge has sent (its
    // status packets come every latency period even when no data does), so
    // the time-out is a deadline around it.
    const auto deadline = SteadyTime::now() + std::chrono::milliseconds(readTimeoutMs_);
    uint32_t got = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyTime::now());
        ftdi->usb_read_timeout = static_cast<int>(std::max<int64_t>(left.count(), 1));
        const int n = ftdi_read_data(ftdi, data + got, static_cast<int>(size - got));
        if (n < 0) {
            if (received) *received = got;
            return Fail(
                FT_IO_ERROR,
                QStringLiteral("reading from the FTDI device failed: %1").arg(FtdiError(ftdi)));
        }
        got += static_cast<uint32_t>(n);
        if (got >= size || SteadyTime::now() >= deadline) break;
        // Nothing yet: wait a little rather than ask the bus again at once.
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (received) *received = got;
    return FT_OK;
}

FtStatus FtdiDevice::Close() {
    if (!isOpen()) return FT_INVALID_HANDLE;
    context_->open = false;
    // Closes the device and attaches the kernel's serial driver again.
    if (ftdi_usb_close(context_->ftdi.get()) < 0)
        return Fail(FT_IO_ERROR, FtdiError(context_->ftdi.get()));
    return FT_OK;
}

#else  // built without libftdi1

struct FtdiDevice::Context {};

namespace {
const QString kNotBuilt =
    QStringLiteral("built without libftdi1 (install libftdi1-dev and pkg-config, then rebuild)");
}

FtdiDevice::FtdiDevice(QString serial)
    : serial_(std::move(serial)), context_(std::make_unique<Context>()) {}
FtdiDevice::~FtdiDevice() = default;
bool FtdiDevice::Available() {
    return false;
}
std::vector<FtdiDevice::Found> FtdiDevice::ListWriters(const QByteArray&, QString* error) {
    if (error) *error = kNotBuilt;
    return {};
}
bool FtdiDevice::isOpen() const {
    return false;
}

FtStatus FtdiDevice::OpenEx(const QByteArray&) {
    return Fail(FT_DEVICE_NOT_FOUND, kNotBuilt);
}
FtStatus FtdiDevice::Purge(uint32_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::SetTimeouts(uint32_t, uint32_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::SetBaudRate(uint32_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::SetDataCharacteristics(uint8_t, uint8_t, uint8_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::SetFlowControl(uint16_t, uint8_t, uint8_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::SetLatencyTimer(uint8_t) {
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::Write(const uint8_t*, uint32_t, uint32_t* written) {
    if (written) *written = 0;
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::Read(uint8_t*, uint32_t, uint32_t* received) {
    if (received) *received = 0;
    return FT_INVALID_HANDLE;
}
FtStatus FtdiDevice::Close() {
    return FT_INVALID_HANDLE;
}

#endif
