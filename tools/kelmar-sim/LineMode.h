// Transmission modes the simulator listens in and answers with.
// Plain enums; no state.
#pragma once

#include <cstdint>

namespace quorvel::sim {

// The mode of one frame on the line.
enum class LineMode : std::uint8_t { Ascii, Rtu };

// What the simulator accepts: one mode, or either one judged per frame by its first byte.
enum class ListenMode : std::uint8_t { Ascii, Rtu, Auto };

} // namespace quorvel::sim
