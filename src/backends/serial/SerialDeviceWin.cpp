// The serial backend on Windows: a COM port through the Win32 calls, given
// (serial:COM3) or found by its USB device's description (ComPortFinder.h).

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "backends/serial/SerialDevice.h"
#include "backends/serial/TtyFinder.h"

namespace {

QString LastWindowsError() {
    const DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message =
        text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    if (text) ::LocalFree(text);
    return message;
}

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

}  // namespace

SerialDevice::SerialDevice(Options options) : options_(std::move(options)) {}

SerialDevice::~SerialDevice() {
    if (isOpen()) Close();
}

bool SerialDevice::isOpen() const {
    return handle_ != nullptr;
}

FtStatus SerialDevice::OpenEx(const QByteArray& description) {
    QString path;
    if (const FtStatus status = ChoosePort(description, &path); status != FT_OK) return status;
    const QString device =
        path.startsWith(QStringLiteral("\\\\.\\")) ? path : QStringLiteral("\\\\.\\") + path;
    // Share mode 0: nobody else may open the port while we hold it.
    HANDLE handle =
        ::CreateFileW(reinterpret_cast<const wchar_t*>(device.utf16()),
                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const QString why = QStringLiteral("%1: %2").arg(path, LastWindowsError());
        return Fail(code == ERROR_FILE_NOT_FOUND ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED, why);
    }
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(handle, &dcb)) {
        const QString why = QStringLiteral("%1: %2").arg(path, LastWindowsError());
        ::CloseHandle(handle);
        return Fail(FT_DEVICE_NOT_OPENED, why);
    }
    dcb.BaudRate = 4800;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!::SetCommState(handle, &dcb)) {
        const QString why = QStringLiteral("%1: %2").arg(path, LastWindowsError());
        ::CloseHandle(handle);
        return Fail(FT_DEVICE_NOT_OPENED, why);
    }
    handle_ = handle;
    readTimeoutMs_ = 0;
    writeTimeoutMs_ = 0;
    return SetTimeouts(0, 0);
}

FtStatus SerialDevice::Purge(uint32_t mask) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    DWORD flags = 0;
    if (mask & FT_PURGE_RX) flags |= PURGE_RXCLEAR | PURGE_RXABORT;
    if (mask & FT_PURGE_TX) flags |= PURGE_TXCLEAR | PURGE_TXABORT;
    if (flags != 0 && !::PurgeComm(AsHandle(handle_), flags))
        return Fail(FT_IO_ERROR, LastWindowsError());
    return FT_OK;
}

FtStatus SerialDevice::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    // The driver itself waits for the whole read up to the constant; with a
    // zero read time-out a read returns at once with what is there.
    COMMTIMEOUTS timeouts{};
    if (readMs == 0) {
        timeouts.ReadIntervalTimeout = MAXDWORD;
    } else {
        timeouts.ReadTotalTimeoutConstant = readMs;
    }
    timeouts.WriteTotalTimeoutConstant = writeMs;
    if (!::SetCommTimeouts(AsHandle(handle_), &timeouts))
        return Fail(FT_IO_ERROR, LastWindowsError());
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return FT_OK;
}

FtStatus SerialDevice::SetBaudRate(uint32_t baud) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(AsHandle(handle_), &dcb)) return Fail(FT_IO_ERROR, LastWindowsError());
    dcb.BaudRate = baud;
    if (!::SetCommState(AsHandle(handle_), &dcb))
        return Fail(FT_INVALID_BAUD_RATE, LastWindowsError());
    return FT_OK;
}

FtStatus SerialDevice::SetLineSetting(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
    using namespace d2xxcodes;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(AsHandle(handle_), &dcb)) return Fail(FT_IO_ERROR, LastWindowsError());
    dcb.ByteSize = wordLength;
    dcb.StopBits = stopBits == kStopBits2 ? TWOSTOPBITS : ONESTOPBIT;
    static constexpr BYTE kParities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};
    dcb.Parity = kParities[parity];
    dcb.fParity = parity != kParityNone;
    if (!::SetCommState(AsHandle(handle_), &dcb)) return Fail(FT_IO_ERROR, LastWindowsError());
    return FT_OK;
}

FtStatus SerialDevice::SetFlowControl(uint16_t flow, uint8_t xon, uint8_t xoff) {
    using namespace d2xxcodes;
    if (!isOpen()) return FT_INVALID_HANDLE;
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!::GetCommState(AsHandle(handle_), &dcb)) return Fail(FT_IO_ERROR, LastWindowsError());
    dcb.fOutxCtsFlow = flow == kFlowRtsCts;
    dcb.fRtsControl = flow == kFlowRtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fOutxDsrFlow = flow == kFlowDtrDsr;
    dcb.fDtrControl = flow == kFlowDtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = flow == kFlowXonXoff;
    dcb.XonChar = static_cast<char>(xon);
    dcb.XoffChar = static_cast<char>(xoff);
    if (flow != kFlowNone && flow != kFlowRtsCts && flow != kFlowDtrDsr && flow != kFlowXonXoff)
        return Fail(FT_INVALID_PARAMETER, QStringLiteral("no such flow control"));
    if (!::SetCommState(AsHandle(handle_), &dcb)) return Fail(FT_IO_ERROR, LastWindowsError());
    return FT_OK;
}

FtStatus SerialDevice::Write(const uint8_t* data, uint32_t size, uint32_t* written) {
    if (written) *written = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    DWORD done = 0;
    if (!::WriteFile(AsHandle(handle_), data, size, &done, nullptr))
        return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, LastWindowsError()));
    if (written) *written = done;
    return FT_OK;
}

FtStatus SerialDevice::Read(uint8_t* data, uint32_t size, uint32_t* received) {
    if (received) *received = 0;
    if (!isOpen()) return FT_INVALID_HANDLE;
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), data, size, &got, nullptr))
        return Fail(FT_IO_ERROR, QStringLiteral("%1: %2").arg(portPath_, LastWindowsError()));
    if (received) *received = got;
    return FT_OK;
}

FtStatus SerialDevice::SetLatencyTimer(uint8_t) {
    if (!isOpen()) return FT_INVALID_HANDLE;
    // The FTDI driver keeps a COM port's latency timer in the port's
    // advanced settings (Device Manager); there is no call for it here.
    return Fail(FT_NOT_SUPPORTED,
                QStringLiteral("%1: a COM port's latency timer is set in its driver's advanced "
                               "port settings")
                    .arg(portPath_));
}

FtStatus SerialDevice::Close() {
    if (!isOpen()) return FT_INVALID_HANDLE;
    const BOOL closed = ::CloseHandle(AsHandle(handle_));
    handle_ = nullptr;
    if (!closed) return Fail(FT_IO_ERROR, LastWindowsError());
    return FT_OK;
}
