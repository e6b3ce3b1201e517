#include "WineDevices.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

namespace quorvel::win32test {
namespace {

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A new device, or the one already registered under id (a replug under another name).
bool MakeOrOpen(HDEVINFO set, const std::wstring& id, SP_DEVINFO_DATA& data) {
    if (SetupDiCreateDeviceInfoW(set, id.c_str(), &PortsClass, nullptr, nullptr, 0, &data)) {
        return SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr) != FALSE;
    }
    return SetupDiOpenDeviceInfoW(set, id.c_str(), nullptr, 0, &data) != FALSE;
}

bool SetParameters(HDEVINFO set, SP_DEVINFO_DATA& data, const TDevice& device) {
    HKEY parameters =
        SetupDiCreateDevRegKeyW(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (parameters == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool done = device.Port.empty() || SetText(parameters, L"PortName", Wide(device.Port));
    if (device.LatencyTimer) {
        done = done && RegSetValueExW(parameters, L"LatencyTimer", 0, REG_DWORD,
                                      reinterpret_cast<const BYTE*>(&*device.LatencyTimer),
                                      sizeof(DWORD)) == ERROR_SUCCESS;
    }
    RegCloseKey(parameters);
    return done;
}

} // namespace

bool AddPortsDevice(const TDevice& device) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&PortsClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    bool done = MakeOrOpen(set, device.Id, data);
    for (const auto& [property, text] : device.Texts) {
        done = done && SetupDiSetDeviceRegistryPropertyW(
                           set, &data, property, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    done = done && SetParameters(set, data, device);
    SetupDiDestroyDeviceInfoList(set);
    return done;
}

void RemoveTestDevices() {
    HDEVINFO set = SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data);) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        SetupDiGetDeviceInstanceIdW(set, &data, id, MAX_DEVICE_ID_LEN, nullptr);
        if (Upper(id).find(L"QV") != std::wstring::npos && SetupDiRemoveDevice(set, &data)) {
            continue; // the next device now has this index
        }
        ++index;
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end()); // COM names and test ids are plain ASCII
}

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

} // namespace quorvel::win32test
