// What the link reaches out to; the defaults are the real system. Tests replace parts of it.
// A plain value; the functions set in it may be called from the link's worker as well.
#pragma once

#include "PortSources.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

struct TPortEnvironment {
    TPortRoots Roots;
    std::string D2xxLibrary;                                    // empty: DefaultD2xxLibrary()
    std::function<std::vector<std::string>()> SerialMap;        // replaces SystemSerialPortNames
    std::function<std::optional<std::uint32_t>()> AdapterCount; // replaces FT_ListDevices
    std::function<std::unique_ptr<ISerialDevice>(const std::string&)> OpenComPort;
};

} // namespace quorvel
