// Monotonic time for the polling engine's no-answer wait. SteadyClock() reads the process's
// std::chrono::steady_clock and lives for the whole run; tests give a fake. Main thread only.
#pragma once

#include <chrono>

namespace quorvel {

using MonotonicTime = std::chrono::steady_clock::time_point;

class IMonotonicClock {
  public:
    virtual ~IMonotonicClock() = default;
    virtual MonotonicTime Now() const = 0;
};

const IMonotonicClock& SteadyClock();

} // namespace quorvel
