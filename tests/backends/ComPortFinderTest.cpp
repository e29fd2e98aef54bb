#include <gtest/gtest.h>

#include "backends/serial/ComPortFinder.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// clang-format off
#include <devguid.h>
#include <setupapi.h>
// clang-format on

// In setupapi.dll since Windows Vista, not in mingw-w64's header.
extern "C" WINSETUPAPI BOOL WINAPI SetupDiSetDevicePropertyW(HDEVINFO, PSP_DEVINFO_DATA,
                                                             const DEVPROPKEY*, DEVPROPTYPE,
                                                             const BYTE*, DWORD, DWORD);
#endif

// The Writer among Windows' COM ports, as SetupAPI describes them.

namespace {

const QString kWriter = QStringLiteral("Q-LARK USB Programmer");

comports::PortDevice Port(const char* name, const char* description, const char* instanceId,
                          QStringList hardwareIds = {}) {
    return {QLatin1String(name), QString::fromUtf8(description), QLatin1String(instanceId),
            std::move(hardwareIds)};
}

}  // namespace

TEST(ComPortFinder, TakesTheFtdiPortsWithTheWritersDescriptionInNumberOrder) {
    const comports::PortDevice ports[] = {
        Port("COM1", "Communications Port", "ACPI\\PNP0501\\1"),
        Port("COM10", "Q-LARK USB Programmer", "FTDIBUS\\VID_0403+PID_6001+QL000002A\\0000"),
        Port("COM3", "FT232R USB UART", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"),
        Port("COM4", "Q-LARK USB Programmer", "USB\\VID_067B&PID_2303\\5&1a2b3c&0&2"),  // not FTDI
        Port("COM5", "Q-LARK USB Programmer ", "FTDIBUS\\VID_0403+PID_6001+QL000003A\\0000"),
        Port("COM9", "Q-LARK USB Programmer", "ROOT\\PORTS\\0000",
             {"FTDIBUS\\COMPORT&VID_0403&PID_6001"}),
        Port("COM2", "Q-LARK USB Programmer", "FTDIBUS\\VID_0403+PID_6001+QL000001A\\0000"),
    };
    const ttyfinder::Listing found = comports::Match(
        std::vector<comports::PortDevice>(std::begin(ports), std::end(ports)), kWriter);
    ASSERT_EQ(found.writers.size(), 3);
    EXPECT_EQ(found.writers[0].path, QStringLiteral("COM2"));
    EXPECT_EQ(found.writers[0].serial, QStringLiteral("QL000001"));
    EXPECT_EQ(found.writers[1].path, QStringLiteral("COM9"));
    EXPECT_EQ(found.writers[1].serial, QString());
    EXPECT_EQ(found.writers[2].path, QStringLiteral("COM10"));
    EXPECT_EQ(found.others,
              (QStringList{"COM1 (? \"Communications Port\")", "COM3 (0403 \"FT232R USB UART\")",
                           "COM4 (? \"Q-LARK USB Programmer\")",
                           "COM5 (0403 \"Q-LARK USB Programmer \")"}));
    EXPECT_TRUE(found.error.isEmpty());
}

TEST(ComPortFinder, NoWriterSaysWhatToCheckAndWhichPortsThereAre) {
    const comports::PortDevice ports[] = {
        Port("COM3", "FT232R USB UART", "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000")};
    const ttyfinder::Listing found = comports::Match({std::begin(ports), std::end(ports)}, kWriter);
    EXPECT_TRUE(found.writers.isEmpty());
    EXPECT_EQ(found.error,
              QStringLiteral("no COM port whose USB device reports \"Q-LARK USB Programmer\" "
                             "(vendor 0403); is the Writer plugged in and its driver installed? "
                             "Other COM ports: COM3 (0403 \"FT232R USB UART\")"));
    EXPECT_FALSE(comports::Match({}, kWriter).error.contains(QStringLiteral("Other")));
}

TEST(ComPortFinder, SerialNumberOfAnInstanceId) {
    const struct {
        const char* instanceId;
        const char* serial;
    } cases[] = {
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "A50285BI"},  // the channel letter goes
        {"ftdibus\\VID_0403+PID_6001+QL000001B\\0000", "QL000001"},
        {"USB\\VID_0403&PID_6001\\A50285BI", "A50285BI"},
        {"USB\\VID_0403&PID_6001\\5&1a2b3c&0&2", ""},  // made up by Windows
        {"FTDIBUS\\VID_0403+PID_6001\\0000", ""},
        {"FTDIBUS\\VID_0403+PID_6001+A\\0000", ""},
        {"ROOT\\PORTS\\0000", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(comports::SerialNumberOf(QLatin1String(c.instanceId)), QLatin1String(c.serial))
            << c.instanceId;
}

#ifdef _WIN32
namespace {

// The bus-reported device description (devpkey.h).
const DEVPROPKEY kBusReportedDescription = {
    {0x540b947e, 0x8b40, 0x45bc, {0xa8, 0xa2, 0x6a, 0x0b, 0x89, 0x4c, 0xbd, 0xa2}}, 4};

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// A COM port as the FTDI driver registers one (instance id, hardware id,
// the device key's PortName, the bus-reported description); removed again
// when the test ends.
class RegisteredPort {
  public:
    RegisteredPort(const wchar_t* instanceId, const wchar_t* portName, const wchar_t* description)
        : set_(::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr)) {
        info_.cbSize = sizeof(info_);
        static const wchar_t kHardwareIds[] = L"FTDIBUS\\COMPORT&VID_0403&PID_6001\0";
        registered_ = ::SetupDiCreateDeviceInfoW(set_, instanceId, &GUID_DEVCLASS_PORTS, nullptr,
                                                 nullptr, 0, &info_) &&
                      ::SetupDiSetDeviceRegistryPropertyW(
                          set_, &info_, SPDRP_HARDWAREID,
                          reinterpret_cast<const BYTE*>(kHardwareIds), sizeof(kHardwareIds)) &&
                      ::SetupDiRegisterDeviceInfo(set_, &info_, 0, nullptr, nullptr, nullptr);
        if (!registered_) return;
        HKEY key = ::SetupDiCreateDevRegKeyW(set_, &info_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr,
                                             nullptr);
        registered_ =
            key != INVALID_HANDLE_VALUE &&
            ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                             (wcslen(portName) + 1) * sizeof(wchar_t)) == ERROR_SUCCESS;
        if (key != INVALID_HANDLE_VALUE) ::RegCloseKey(key);
        registered_ =
            registered_ &&
            ::SetupDiSetDevicePropertyW(set_, &info_, &kBusReportedDescription, DEVPROP_TYPE_STRING,
                                        reinterpret_cast<const BYTE*>(description),
                                        (wcslen(description) + 1) * sizeof(wchar_t), 0);
    }
    ~RegisteredPort() {
        ::SetupDiRemoveDevice(set_, &info_);
        ::SetupDiDestroyDeviceInfoList(set_);
    }
    bool registered() const { return registered_; }

  private:
    HDEVINFO set_;
    SP_DEVINFO_DATA info_{};
    bool registered_ = false;
};

}  // namespace

// The ports SetupAPI lists, read as the FTDI driver describes them. Only in
// a Wine prefix: on Windows registering a device takes an administrator and
// leaves traces.
TEST(ComPortFinder, FindsTheWritersPortThroughSetupApi) {
    if (!UnderWine()) GTEST_SKIP() << "registers a device: runs in a Wine prefix only";
    const RegisteredPort writer(L"FTDIBUS\\VID_0403+PID_6001+QLTEST01A\\0000", L"COM41",
                                L"Q-LARK USB Programmer");
    const RegisteredPort cable(L"FTDIBUS\\VID_0403+PID_6001+FTTEST01A\\0000", L"COM40",
                               L"FT232R USB UART");
    ASSERT_TRUE(writer.registered() && cable.registered()) << ::GetLastError();
    const ttyfinder::Listing found = comports::List(kWriter);
    ASSERT_EQ(found.writers.size(), 1) << found.error.toStdString();
    EXPECT_EQ(found.writers[0].path, QStringLiteral("COM41"));
    EXPECT_EQ(found.writers[0].serial, QStringLiteral("QLTEST01"));
    EXPECT_TRUE(found.others.contains(QStringLiteral("COM40 (0403 \"FT232R USB UART\")")))
        << found.others.join(u' ').toStdString();
}

TEST(ComPortFinder, AMissingPortIsNoPort) {
    EXPECT_FALSE(comports::PortExists(QStringLiteral("COM250")));
    EXPECT_FALSE(comports::PortExists(QStringLiteral("\\\\.\\COM250")));
}
#endif
