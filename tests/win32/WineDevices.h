// Devices of the Ports class registered through SetupAPI, as a test plays the device tree: Wine
// lists every registered device as present. Plain functions; call from the test thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::win32test {

// GUID_DEVCLASS_PORTS.
inline constexpr GUID PortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct TDevice {
    std::wstring Id;  // instance id, e.g. USB\VID_0403&PID_6001\QVSERIAL
    std::string Port; // PortName among its device parameters; none when empty
    std::vector<std::pair<DWORD, std::wstring>> Texts{}; // SPDRP_ property, text
    std::optional<DWORD> LatencyTimer{};
};

// Registers the device, or takes the one registered under its id, and sets its texts and
// device parameters; false when SetupAPI refuses.
bool AddPortsDevice(const TDevice& device);

// Removes every Ports device whose instance id holds "QV": the tests' own, whatever left them.
void RemoveTestDevices();

std::wstring Wide(const std::string& ascii);
std::wstring Upper(std::wstring text);

} // namespace quorvel::win32test
