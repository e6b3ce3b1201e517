// Windows: the USB serial devices behind COM names, as SetupAPI lists the present devices of
// the Ports class. Read afresh at every call; devices without a name or a USB instance id are
// passed over. Main thread.
#pragma once

#include "UsbDeviceNote.h"

#include <map>
#include <string>
#include <vector>

namespace quorvel {

// Keyed by the port name as given (COM names compare ignoring case). A port whose device is not
// a USB device (or that the system does not list) is absent.
std::map<std::string, TUsbDeviceFacts> UsbDevicesOfPorts(const std::vector<std::string>& ports);

} // namespace quorvel
