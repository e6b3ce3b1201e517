// What the system's device list tells of each serial port device, and the USB device each port
// name belongs to, worked out from it the same way on every platform. Pure functions; texts
// are UTF-8 as the system gave them.
#pragma once

#include "UsbDeviceNote.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorvel {

// One present serial port device (Windows: a device of the Ports class).
struct TPortDeviceRecord {
    std::string InstanceId; // "USB\VID_1A86&PID_7523\…", "FTDIBUS\VID_0403+PID_6001+…\0000"
    std::string ParentInstanceId; // the device it hangs off; empty when not known
    std::string PortName;         // "COM3"; empty when the device names none
    std::string Maker;            // manufacturer text as stored (may be an INF reference)
    std::string Description;      // device description as stored
    std::string FriendlyName;
    std::uint32_t LatencyTimerMs = 0; // the FTDI driver's device parameter; 0 when absent
};

// Keyed by the port names as given (COM names compare ignoring case). A port none of the
// records names, or whose device is not a USB device, is absent; the first record of a name
// counts. The serial number of one interface of a composite device is its parent's.
std::map<std::string, TUsbDeviceFacts>
UsbDevicesOfPortRecords(const std::vector<std::string>& ports,
                        const std::vector<TPortDeviceRecord>& records);

} // namespace quorvel
