// Where the system's serial ports come from, and how a port name becomes an opened device.
// The roots are injectable so tests can stand in fake trees; called on the main thread.
#pragma once

#include "PortIdentity.h"
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

// One port the system knows, with what tells it apart for the operator (Hungarian, lines
// separated by '\n'; empty when the system says nothing more).
struct TSerialPortInfo {
    std::string Name;
    std::string Note;
    TPortIdentity Identity{}; // what the system tells of the device behind it
};

// The serial ports the system knows (Windows: the serial device map, with the device tree's
// word on USB devices; Linux: kernel serial devices and registered virtual ports), read afresh
// at every call.
std::vector<TSerialPortInfo> SystemSerialPorts(const TPortRoots& roots);
// Their names, unsorted.
std::vector<std::string> SystemSerialPortNames(const TPortRoots& roots);

// Linux: why the user may not open path (Hungarian, names the device's group); empty when
// nothing stands in the way.
std::string AccessNote(const std::string& path);
// The note for a device of groupId that the user may not open.
std::string NoPermissionNote(unsigned groupId);

// Opens the named serial port for exclusive read and write; nullptr when it cannot be opened.
std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, const TPortRoots& roots);

} // namespace quorvel
