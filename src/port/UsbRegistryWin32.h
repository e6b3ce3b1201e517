// Windows: the USB serial devices behind COM names, as the registry's device tree holds them
// (HKLM\SYSTEM\CurrentControlSet\Enum, its USB and FTDIBUS branches only). Read afresh at
// every call; missing or odd keys are passed over. Main thread.
#pragma once

#include "UsbDeviceNote.h"

#include <map>
#include <string>
#include <vector>

namespace quorvel {

// Keyed by the port name as given (COM names compare ignoring case). A port whose device is not
// a USB device (or that the tree does not know) is absent.
std::map<std::string, TUsbDeviceFacts> UsbDevicesOfPorts(const std::vector<std::string>& ports);

} // namespace quorvel
