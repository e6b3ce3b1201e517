// The present devices of the Ports class through SetupAPI (the device tree's keys are the
// system's own business): each one's instance id and its parent's, its texts, and from its
// device parameters the port name and FTDI's latency timer.
#include "UsbRegistryWin32.h"

#include "UsbPortDevices.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

// GUID_DEVCLASS_PORTS: serial and parallel ports.
constexpr GUID PortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Utf8(const wchar_t* text, std::size_t length) {
    if (length == 0) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr,
                          nullptr);
    return utf8;
}

// Up to the first terminator; registry strings may lack it or carry several.
std::string Utf8OfBuffer(const std::vector<wchar_t>& buffer) {
    const auto end = std::find(buffer.begin(), buffer.end(), L'\0');
    return Utf8(buffer.data(), static_cast<std::size_t>(end - buffer.begin()));
}

class TDeviceList {
  public:
    TDeviceList() : Set(::SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT)) {}
    ~TDeviceList() {
        if (Set != INVALID_HANDLE_VALUE) {
            ::SetupDiDestroyDeviceInfoList(Set);
        }
    }
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;

    // false past the last device (or when there is no list).
    bool Device(DWORD index, SP_DEVINFO_DATA& device) const {
        device = {};
        device.cbSize = sizeof device;
        return Set != INVALID_HANDLE_VALUE && ::SetupDiEnumDeviceInfo(Set, index, &device);
    }

    // A text property; empty when absent or of another type.
    std::string Text(SP_DEVINFO_DATA& device, DWORD property) const {
        DWORD type = 0;
        DWORD size = 0;
        ::SetupDiGetDeviceRegistryPropertyW(Set, &device, property, &type, nullptr, 0, &size);
        if (size == 0) {
            return {};
        }
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        if (!::SetupDiGetDeviceRegistryPropertyW(
                Set, &device, property, &type, reinterpret_cast<BYTE*>(text.data()),
                static_cast<DWORD>(text.size() * sizeof(wchar_t)), nullptr) ||
            type != REG_SZ) {
            return {};
        }
        return Utf8OfBuffer(text);
    }

    std::string InstanceId(SP_DEVINFO_DATA& device) const {
        std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1, L'\0');
        if (!::SetupDiGetDeviceInstanceIdW(Set, &device, id.data(), static_cast<DWORD>(id.size()),
                                           nullptr)) {
            return {};
        }
        return Utf8OfBuffer(id);
    }

    // The device's own parameters: PortName and, for FTDI's driver, LatencyTimer.
    void ReadParameters(SP_DEVINFO_DATA& device, TPortDeviceRecord& record) const {
        HKEY key =
            ::SetupDiOpenDevRegKey(Set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) {
            return;
        }
        std::vector<wchar_t> name(256, L'\0');
        DWORD type = 0;
        DWORD size = static_cast<DWORD>((name.size() - 1) * sizeof(wchar_t));
        if (::RegQueryValueExW(key, L"PortName", nullptr, &type,
                               reinterpret_cast<BYTE*>(name.data()), &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            record.PortName = Utf8OfBuffer(name);
        }
        DWORD latency = 0;
        size = sizeof latency;
        if (::RegQueryValueExW(key, L"LatencyTimer", nullptr, &type,
                               reinterpret_cast<BYTE*>(&latency), &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof latency) {
            record.LatencyTimerMs = latency;
        }
        ::RegCloseKey(key);
    }

  private:
    HDEVINFO Set;
};

std::string ParentInstanceId(DEVINST device) {
    DEVINST parent = 0;
    std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1, L'\0');
    if (::CM_Get_Parent(&parent, device, 0) != CR_SUCCESS ||
        ::CM_Get_Device_IDW(parent, id.data(), static_cast<ULONG>(id.size() - 1), 0) !=
            CR_SUCCESS) {
        return {};
    }
    return Utf8OfBuffer(id);
}

std::vector<TPortDeviceRecord> PresentPortDevices() {
    std::vector<TPortDeviceRecord> records;
    const TDeviceList list;
    SP_DEVINFO_DATA device{};
    for (DWORD index = 0; list.Device(index, device); ++index) {
        TPortDeviceRecord record;
        list.ReadParameters(device, record);
        if (record.PortName.empty()) {
            continue; // a parallel port, or a device that has not been given a name
        }
        record.InstanceId = list.InstanceId(device);
        record.ParentInstanceId = ParentInstanceId(device.DevInst);
        record.Maker = list.Text(device, SPDRP_MFG);
        record.Description = list.Text(device, SPDRP_DEVICEDESC);
        record.FriendlyName = list.Text(device, SPDRP_FRIENDLYNAME);
        records.push_back(std::move(record));
    }
    return records;
}

} // namespace

// SetupAPI grants every user read access to the device list.
std::map<std::string, TUsbDeviceFacts> UsbDevicesOfPorts(const std::vector<std::string>& ports) {
    if (ports.empty()) {
        return {};
    }
    return UsbDevicesOfPortRecords(ports, PresentPortDevices());
}

} // namespace quorvel
