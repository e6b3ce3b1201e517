// Where the system's serial ports come from, and how a port name becomes an opened device.
// The roots are injectable so tests can stand in fake trees; called on the main thread.
#pragma once

#include "SerialDevice.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvel {

struct TPortRoots {
    std::string SysfsTty = "/sys/class/tty"; // kernel serial devices (Linux)
    std::string DeviceFolder = "/dev";       // device nodes named as in the list (Linux)
    std::string PortFolder;                  // registered virtual ports; empty: VirtualPortFolder()
};

// Names of the serial ports the system knows (Windows: the serial device map; Linux: kernel
// serial devices and registered virtual ports), unsorted.
std::vector<std::string> SystemSerialPortNames(const TPortRoots& roots);

// Opens the named serial port for exclusive read and write; nullptr when it cannot be opened.
std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, const TPortRoots& roots);

} // namespace quorvel
