// The COM ports through SetupAPI and the configuration manager.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// The class GUID is defined here, once: initguid.h comes first.
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include <QFileInfo>
#include <vector>

#include "backends/serial/ComPortFinder.h"

namespace comports {
namespace {

// DEVPKEY_Device_BusReportedDeviceDesc of devpkey.h: the description the
// USB device reports on the bus (its product string).
const DEVPROPKEY kBusReportedDescription = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

QString FromWide(const std::vector<wchar_t>& buffer) {
    return QString::fromWCharArray(buffer.data()).trimmed();
}

// A string property of the device, empty when it has none.
QString DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA* info, const DEVPROPKEY& key) {
    DEVPROPTYPE type = 0;
    DWORD size = 0;
    ::SetupDiGetDevicePropertyW(set, info, &key, &type, nullptr, 0, &size, 0);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!::SetupDiGetDevicePropertyW(set, info, &key, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                     size, nullptr, 0) ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return FromWide(buffer);
}

// The same of the device's parent (the USB device of a port its driver
// made).
QString ParentProperty(DEVINST device, const DEVPROPKEY& key) {
    DEVINST parent = 0;
    if (::CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) return {};
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    ::CM_Get_DevNode_PropertyW(parent, &key, &type, nullptr, &size, 0);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::CM_Get_DevNode_PropertyW(parent, &key, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                   &size, 0) != CR_SUCCESS ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return FromWide(buffer);
}

QStringList HardwareIds(HDEVINFO set, SP_DEVINFO_DATA* info) {
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, info, SPDRP_HARDWAREID, nullptr, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, info, SPDRP_HARDWAREID, nullptr,
                                             reinterpret_cast<BYTE*>(buffer.data()), size, nullptr))
        return {};
    // A list of strings, each ended by a zero, the list by a second one.
    QStringList ids;
    for (const wchar_t* id = buffer.data(); *id != L'\0'; id += wcslen(id) + 1)
        ids << QString::fromWCharArray(id);
    return ids;
}

QString InstanceId(HDEVINFO set, SP_DEVINFO_DATA* info) {
    DWORD size = 0;
    ::SetupDiGetDeviceInstanceIdW(set, info, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size + 1, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, info, buffer.data(), size, nullptr)) return {};
    return FromWide(buffer);
}

// The device key's "PortName": "COM5" (or "LPT1" for a printer port).
QString PortName(HDEVINFO set, SP_DEVINFO_DATA* info) {
    HKEY key = ::SetupDiOpenDevRegKey(set, info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t name[64] = {};
    DWORD size = sizeof(name) - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return {};
    return QString::fromWCharArray(name).trimmed();
}

QString SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString message =
        text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    if (text) ::LocalFree(text);
    return message;
}

}  // namespace

std::vector<PortDevice> PresentPorts(QString* error) {
    std::vector<PortDevice> ports;
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        if (error)
            *error = QStringLiteral("cannot list the COM ports: %1")
                         .arg(SystemMessage(::GetLastError()));
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(info);
        if (!::SetupDiEnumDeviceInfo(set, index, &info)) break;
        PortDevice port;
        port.portName = PortName(set, &info);
        if (!port.portName.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) continue;
        port.instanceId = InstanceId(set, &info);
        port.hardwareIds = HardwareIds(set, &info);
        port.description = DeviceProperty(set, &info, kBusReportedDescription);
        if (port.description.isEmpty())
            port.description = ParentProperty(info.DevInst, kBusReportedDescription);
        ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

ttyfinder::Listing List(const QString& product) {
    QString error;
    std::vector<PortDevice> ports = PresentPorts(&error);
    if (!error.isEmpty()) {
        ttyfinder::Listing listing;
        listing.error = error;
        return listing;
    }
    return Match(std::move(ports), product);
}

bool PortExists(const QString& name) {
    QString device = name;
    if (device.startsWith(QLatin1String("\\\\.\\"))) device = device.mid(4);
    if (device.isEmpty()) return false;
    // A file's path (a stand-in for a port, as the tests use) is a file.
    if (device.contains(u'/') || device.contains(u'\\') || device.contains(u':'))
        return QFileInfo::exists(name);
    wchar_t target[512] = {};
    return ::QueryDosDeviceW(reinterpret_cast<const wchar_t*>(device.utf16()), target,
                             static_cast<DWORD>(std::size(target))) != 0;
}

}  // namespace comports
