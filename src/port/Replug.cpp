#include "Replug.h"

#include "D2xxDevice.h"
#include "D2xxLibrary.h"

namespace quorvel {

namespace {

std::optional<TReturnedPort> ReturnedAdapter(const TReplugTrail& trail,
                                             const TPortEnvironment& environment) {
    const TD2xxApi* api = LoadD2xx(environment.D2xxLibrary);
    if (api == nullptr) {
        return std::nullopt;
    }
    const std::optional<std::vector<std::string>> serials = AdapterSerials(*api, MaxAdapters);
    if (!serials) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> index = IndexOfAdapter(trail.Identity, *serials);
    if (!index) {
        return std::nullopt;
    }
    return TReturnedPort{UsbPortName(*index), static_cast<std::uint8_t>(*index)};
}

} // namespace

std::vector<TSerialPortInfo> ListedSerialPorts(const TPortEnvironment& environment) {
    if (!environment.SerialMap) {
        return SystemSerialPorts(environment.Roots);
    }
    std::vector<TSerialPortInfo> ports;
    for (std::string& name : environment.SerialMap()) {
        ports.push_back({std::move(name), {}});
    }
    return ports;
}

std::vector<TPortIdentity> IdentitiesOf(const std::vector<TSerialPortInfo>& ports) {
    std::vector<TPortIdentity> identities;
    for (const TSerialPortInfo& port : ports) {
        identities.push_back(port.Identity);
    }
    return identities;
}

TPortIdentity SerialPortIdentity(const std::string& name, const TPortEnvironment& environment) {
    const std::vector<TSerialPortInfo> ports = ListedSerialPorts(environment);
    for (const TSerialPortInfo& port : ports) {
        if (port.Name == name) {
            return Distinguished(port.Identity, IdentitiesOf(ports));
        }
    }
    return {};
}

std::optional<TReturnedPort> FindReturned(const TReplugTrail& trail,
                                          const TPortEnvironment& environment) {
    if (!IsRecognisable(trail.Identity)) {
        if (trail.NameLeadsBack && !trail.NameLeadsBack()) {
            return std::nullopt;
        }
        const TUsbName usb = ParseUsbName(trail.Name);
        return TReturnedPort{trail.Name, usb.Index.value_or(0)};
    }
    if (trail.Usb) {
        return ReturnedAdapter(trail, environment);
    }
    const std::vector<TSerialPortInfo> ports = ListedSerialPorts(environment);
    const int index = FindDevice(trail.Identity, IdentitiesOf(ports));
    if (index < 0) {
        return std::nullopt;
    }
    return TReturnedPort{ports[static_cast<std::size_t>(index)].Name};
}

} // namespace quorvel
