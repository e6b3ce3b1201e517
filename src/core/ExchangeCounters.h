// 32-bit exchange counter arithmetic that wraps like the counters' own width instead of
// overflowing (signed overflow is undefined); a difference of two wrapped counters stays right.
#pragma once

#include <cstdint>

namespace quorvel {

inline void CountOne(std::int32_t& counter) {
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1U);
}

inline std::int32_t CounterDifference(std::int32_t minuend, std::int32_t subtrahend) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(minuend) -
                                     static_cast<std::uint32_t>(subtrahend));
}

} // namespace quorvel
