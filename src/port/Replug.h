// The replug policy: what the link remembers of the device it opened, so that a reopen goes to
// that device wherever it sits now, never to another; what nothing tells apart is reopened by
// name. Plain values; the functions ask the system afresh and may run on the worker.
#pragma once

#include "PortEnvironment.h"
#include "PortIdentity.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

struct TReplugTrail {
    std::string Name{};       // the name the device was opened under
    bool Usb = false;         // a D2XX adapter ("USBn")
    TPortIdentity Identity{}; // what tells it apart; not recognisable: it is reopened by name
    // Reopened by name: whether the name may be opened again now (empty: always).
    std::function<bool()> NameLeadsBack{};
};

// Where the trail's device can be opened now.
struct TReturnedPort {
    std::string Name;
    std::uint8_t AdapterIndex = 0; // for a D2XX adapter
};

// The serial ports the environment lists (the system's, or the names a test gives) and what
// tells their devices apart.
std::vector<TSerialPortInfo> ListedSerialPorts(const TPortEnvironment& environment);
std::vector<TPortIdentity> IdentitiesOf(const std::vector<TSerialPortInfo>& ports);

// The identity a serial port just opened under name is followed by: what the system tells of the
// device listed under that name, as far as it tells it from the others.
TPortIdentity SerialPortIdentity(const std::string& name, const TPortEnvironment& environment);

// A recognisable device: the name it is listed under now; a device nothing tells apart: its own
// name, once that may lead back to it. nullopt while it is not back (or not singled out).
std::optional<TReturnedPort> FindReturned(const TReplugTrail& trail,
                                          const TPortEnvironment& environment);

} // namespace quorvel
