// Assembles the port selector's names: serial ports sorted case-insensitively, then USB1 … for
// the attached D2XX adapters, and COM1 … COM5 only when nothing else was found. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// adapterCount: nullopt when the adapter library did not answer.
std::vector<std::string> BuildPortList(std::vector<std::string> serialNames,
                                       std::optional<std::uint32_t> adapterCount);

// Case-insensitive text order, so COM10 sorts before COM2.
void SortPortNames(std::vector<std::string>& names);

} // namespace quorvel
