// Windows port source: the values of the serial device map in the registry, each with what the
// device tree tells of its USB device.
#include "PortSources.h"

#include "UsbRegistryWin32.h"

#include <windows.h>

namespace quorvel {

namespace {

// Registry strings may come without their terminator, or with several.
std::string TextOfValue(const std::vector<char>& data, DWORD size) {
    std::string text(data.data(), data.data() + size);
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

// Note holds the value name for now: the kernel's device object (\Device\Serial0, \Device\VCP0
// for an FTDI virtual COM port), all the map holds for the device.
void ReadValues(HKEY key, std::vector<TSerialPortInfo>& ports) {
    DWORD valueCount = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                           &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::vector<char> name(longestName + 1);
    std::vector<char> data(longestData + 1);
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG result = ::RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (result == ERROR_SUCCESS && type == REG_SZ && dataSize <= data.size()) {
            ports.push_back({TextOfValue(data, dataSize), std::string(name.data(), nameSize)});
        }
    }
}

// The USB device first, as on Linux, then the device object.
void AddUsbNotes(std::vector<TSerialPortInfo>& ports) {
    std::vector<std::string> names;
    for (const TSerialPortInfo& port : ports) {
        names.push_back(port.Name);
    }
    const std::map<std::string, TUsbDeviceFacts> devices = UsbDevicesOfPorts(names);
    for (TSerialPortInfo& port : ports) {
        const auto device = devices.find(port.Name);
        std::string note = device != devices.end() ? UsbDeviceNote(device->second) : std::string();
        AddNoteLine(note, "Eszköz: ", port.Note);
        port.Note = std::move(note);
        if (device != devices.end()) { // no socket: the device tree names none here
            port.Identity = {true, device->second.Serial, device->second.VendorId,
                             device->second.ProductId};
        }
    }
}

} // namespace

// Read access is enough and is granted to every user; asking for more would hide the ports from
// anyone who is not an administrator.
std::vector<TSerialPortInfo> SystemSerialPorts(const TPortRoots&) {
    std::vector<TSerialPortInfo> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    ReadValues(key, ports);
    ::RegCloseKey(key);
    AddUsbNotes(ports);
    return ports;
}

} // namespace quorvel
