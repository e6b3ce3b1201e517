// When each piece of a reply goes out: line pacing at a baud rate (11 bits a character) and
// splitting into small chunks; plus the blocking writer that follows such a plan. Single-threaded.
#pragma once

#include "ByteString.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace quorvel::sim {

struct PacingSettings {
    std::uint32_t baud = 0; // 0: no pacing, bytes go out at once
    std::size_t split = 0;  // 0: no splitting; else at most this many bytes a write
    std::chrono::microseconds splitGap{2000}; // pause between split chunks
};

// One write: bytes [begin, end) no earlier than `at` after the reply starts.
struct WriteStep {
    std::chrono::microseconds at{0};
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Steps covering a reply of size bytes in order; empty for an empty reply.
std::vector<WriteStep> PlanReplyWrites(std::size_t size, const PacingSettings& pacing);

// Time one character takes at the baud rate (start, 8 data, parity, stop); zero when unpaced.
std::chrono::microseconds CharacterTime(std::uint32_t baud);

// Writes the reply to fd following the plan; false when the fd refused it for longer than
// the stall limit or failed (the rest of the reply is then dropped).
bool WritePlanned(int fd, ByteView reply, const std::vector<WriteStep>& plan,
                  std::chrono::milliseconds stallLimit);

} // namespace quorvel::sim
