#include "PortList.h"

#include "PortSources.h"

#include <algorithm>
#include <cctype>

namespace quorvel {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::vector<std::string> SystemSerialPortNames(const TPortRoots& roots) {
    std::vector<std::string> names;
    for (TSerialPortInfo& port : SystemSerialPorts(roots)) {
        names.push_back(std::move(port.Name));
    }
    return names;
}

void SortPortNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
}

std::vector<std::string> BuildPortList(std::vector<std::string> serialNames,
                                       std::optional<std::uint32_t> adapterCount) {
    std::vector<std::string> list = std::move(serialNames);
    SortPortNames(list);
    for (std::uint32_t j = 1; adapterCount && j <= *adapterCount; ++j) {
        list.push_back("USB" + std::to_string(j));
    }
    if (list.empty()) {
        for (int n = 1; n <= 5; ++n) {
            list.push_back("COM" + std::to_string(n));
        }
    }
    return list;
}

} // namespace quorvel
