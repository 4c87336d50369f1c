#include "serial/PortList.h"

#include <algorithm>

#include "PortName.h"
#include "Win32.h"
// After <windows.h>, which it needs.
#include <setupapi.h>

namespace vemkard {
namespace {

// The ports device class, {4D36E978-E325-11CE-BFC1-08002BE10318}.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

struct TListedPort {
    std::string Name;          // "COM3"
    std::string FriendlyName;  // "USB Serial Port (COM3)"
    std::string VendorId;      // "0403", for a USB device
    std::string ProductId;
};

std::wstring RegistryText(HKEY key, const wchar_t* value) {
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return text;
}

std::wstring DeviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text),
                                           sizeof text - 2 * sizeof(wchar_t), nullptr)) {
        return {};
    }
    return text;  // the first string of a list
}

// "0403" after `field` ("VID_", "PID_") in a hardware ID such as
// "USB\VID_0403&PID_6001&REV_0600"; empty when absent.
std::string IdField(const std::string& hardwareId, const std::string& field) {
    const auto at = hardwareId.find(field);
    if (at == std::string::npos || hardwareId.size() < at + field.size() + 4) return {};
    return hardwareId.substr(at + field.size(), 4);
}

// The ports SetupAPI knows: Windows names each by what its driver says.
std::vector<TListedPort> PortsOfSetupApi() {
    std::vector<TListedPort> ports;
    const HDEVINFO devices = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const HKEY key =
            SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        TListedPort port;
        port.Name = win32::ToUtf8(RegistryText(key, L"PortName"));
        RegCloseKey(key);
        if (ComPortNumber(port.Name) == 0) continue;  // a printer port, say
        port.FriendlyName = win32::ToUtf8(DeviceProperty(devices, device, SPDRP_FRIENDLYNAME));
        const std::string hardwareId =
            win32::ToUtf8(DeviceProperty(devices, device, SPDRP_HARDWAREID));
        if (hardwareId.rfind("USB\\", 0) == 0 || hardwareId.rfind("FTDIBUS\\", 0) == 0) {
            port.VendorId = IdField(hardwareId, "VID_");
            port.ProductId = IdField(hardwareId, "PID_");
        }
        ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return ports;
}

// What the serial drivers registered, where SetupAPI lists nothing (Wine).
std::vector<TListedPort> PortsOfDeviceMap() {
    std::vector<TListedPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameSize = 256;
        wchar_t data[64] = {};
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        TListedPort port;
        port.Name = win32::ToUtf8(data);
        if (ComPortNumber(port.Name) != 0) ports.push_back(std::move(port));
    }
    RegCloseKey(key);
    return ports;
}

std::vector<TListedPort> ListedPorts() {
    std::vector<TListedPort> ports = PortsOfSetupApi();
    if (ports.empty()) ports = PortsOfDeviceMap();
    std::sort(ports.begin(), ports.end(), [](const TListedPort& a, const TListedPort& b) {
        return ComPortNumber(a.Name) < ComPortNumber(b.Name);
    });
    ports.erase(std::unique(ports.begin(), ports.end(),
                            [](const TListedPort& a, const TListedPort& b) {
                                return ComPortNumber(a.Name) == ComPortNumber(b.Name);
                            }),
                ports.end());
    return ports;
}

}  // namespace

std::vector<std::string> ListSerialPorts() {
    std::vector<std::string> names;
    for (const TListedPort& port : ListedPorts()) names.push_back(port.Name);
    return names;
}

std::string DescribeSerialPort(const std::string& name) {
    std::string line = name;
    for (const TListedPort& port : ListedPorts()) {
        if (ComPortNumber(port.Name) != ComPortNumber(name) || ComPortNumber(name) == 0) continue;
        if (!port.FriendlyName.empty()) line += "  " + port.FriendlyName;
        if (!port.VendorId.empty())
            line += (port.FriendlyName.empty() ? "  USB " : ", USB ") + port.VendorId + ":" +
                    port.ProductId;
        break;
    }
    return line;
}

}  // namespace vemkard
