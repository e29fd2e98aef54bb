// A stand-in for the vendor's D2XX library, built by the tests: it exports
// the nine calls, the device-info list and the latency call with the
// library's types, records every call with its arguments, and answers from a
// script the test sets. Built three times: complete, without
// FT_SetFlowControl (FAKE_D2XX_INCOMPLETE) to show a library that lacks a
// call, and without FT_SetLatencyTimer (FAKE_D2XX_NO_LATENCY), as older
// builds of the library are.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using Status = uint32_t;
using Dword = uint32_t;

struct Fake {
    std::string log;        // one line per call
    bool present = true;    // a device with the Writer's description is plugged in
    Status readStatus = 0;  // what FT_Read returns
    std::string replies;    // bytes FT_Read hands out, in order
    int handleTag = 0;
    // The device-info list: serial number and description of each device.
    std::vector<std::pair<std::string, std::string>> devices;
};

Fake& State() {
    static Fake fake;
    return fake;
}

void Log(const std::string& line) {
    State().log += line + "\n";
}

bool Valid(void* handle) {
    return handle == &State().handleTag;
}

}  // namespace

// Test controls.
FAKE_EXPORT void FakeD2xx_Reset(int present, const char* replies, uint32_t readStatus) {
    State() = Fake{};
    State().present = present != 0;
    State().replies = replies ? replies : "";
    State().readStatus = readStatus;
}

// The devices the info list shows: "serial|description" items separated by
// ';'. A serial number here can be opened by serial number.
FAKE_EXPORT void FakeD2xx_SetDevices(const char* list) {
    State().devices.clear();
    std::string text = list;
    while (!text.empty()) {
        const size_t end = std::min(text.find(';'), text.size());
        const std::string item = text.substr(0, end);
        const size_t bar = item.find('|');
        State().devices.emplace_back(item.substr(0, bar), item.substr(bar + 1));
        text.erase(0, std::min(end + 1, text.size()));
    }
}

FAKE_EXPORT const char* FakeD2xx_Log() {
    return State().log.c_str();
}

// The D2XX calls.
FAKE_EXPORT Status FT_OpenEx(void* arg, Dword flags, void** handle) {
    const std::string text = static_cast<const char*>(arg);
    Log("FT_OpenEx \"" + text + "\" " + std::to_string(flags));
    if (flags == 1) {  // by serial number
        for (const auto& [serial, description] : State().devices) {
            if (serial == text) {
                *handle = &State().handleTag;
                return 0;
            }
        }
        return 2;
    }
    if (flags != 2 || !State().present || text != "Q-LARK USB Programmer") return 2;  // not found
    *handle = &State().handleTag;
    return 0;
}

FAKE_EXPORT Status FT_CreateDeviceInfoList(Dword* count) {
    Log("FT_CreateDeviceInfoList");
    *count = static_cast<Dword>(State().devices.size());
    return 0;
}

// The serial number buffer holds 16 bytes, the description 64.
FAKE_EXPORT Status FT_GetDeviceInfoDetail(Dword index, Dword* flags, Dword* type, Dword* id,
                                          Dword* location, void* serial, void* description,
                                          void** handle) {
    if (index >= State().devices.size()) return 6;  // invalid parameter
    const auto& [serialText, descriptionText] = State().devices[index];
    *flags = 0;
    *type = 5;  // FT232R
    *id = 0x04036001;
    *location = 0x1000 + index;
    std::strncpy(static_cast<char*>(serial), serialText.c_str(), 15);
    std::strncpy(static_cast<char*>(description), descriptionText.c_str(), 63);
    *handle = nullptr;
    return 0;
}

FAKE_EXPORT Status FT_Purge(void* handle, Dword mask) {
    Log("FT_Purge " + std::to_string(mask));
    return Valid(handle) ? 0 : 1;
}

FAKE_EXPORT Status FT_SetTimeouts(void* handle, Dword readMs, Dword writeMs) {
    Log("FT_SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    return Valid(handle) ? 0 : 1;
}

FAKE_EXPORT Status FT_SetBaudRate(void* handle, Dword baud) {
    Log("FT_SetBaudRate " + std::to_string(baud));
    return Valid(handle) ? 0 : 1;
}

FAKE_EXPORT Status FT_SetDataCharacteristics(void* handle, uint8_t bits, uint8_t stop,
                                             uint8_t parity) {
    Log("FT_SetDataCharacteristics " + std::to_string(bits) + " " + std::to_string(stop) + " " +
        std::to_string(parity));
    return Valid(handle) ? 0 : 1;
}

#ifndef FAKE_D2XX_INCOMPLETE
FAKE_EXPORT Status FT_SetFlowControl(void* handle, uint16_t flow, uint8_t xon, uint8_t xoff) {
    Log("FT_SetFlowControl " + std::to_string(flow) + " " + std::to_string(xon) + " " +
        std::to_string(xoff));
    return Valid(handle) ? 0 : 1;
}
#endif

#ifndef FAKE_D2XX_NO_LATENCY
FAKE_EXPORT Status FT_SetLatencyTimer(void* handle, uint8_t ms) {
    Log("FT_SetLatencyTimer " + std::to_string(ms));
    if (!Valid(handle)) return 1;
    return ms < 2 ? 6 : 0;  // FT_INVALID_PARAMETER below the library's lowest
}
#endif

FAKE_EXPORT Status FT_Write(void* handle, void* buffer, Dword size, Dword* written) {
    std::string line = "FT_Write";
    for (Dword i = 0; i < size; ++i) {
        line += ' ';
        line += std::to_string(static_cast<uint8_t*>(buffer)[i]);
    }
    Log(line);
    if (!Valid(handle)) return 1;
    *written = size;
    return 0;
}

FAKE_EXPORT Status FT_Read(void* handle, void* buffer, Dword size, Dword* received) {
    Log("FT_Read " + std::to_string(size));
    if (!Valid(handle)) return 1;
    *received = 0;
    if (State().readStatus != 0) return State().readStatus;
    const Dword n = static_cast<Dword>(std::min<size_t>(size, State().replies.size()));
    std::memcpy(buffer, State().replies.data(), n);
    State().replies.erase(0, n);
    *received = n;
    return 0;
}

FAKE_EXPORT Status FT_Close(void* handle) {
    Log("FT_Close");
    return Valid(handle) ? 0 : 1;
}
