#include "MonotonicClock.h"

namespace quorvel {

namespace {
class TSteadyClock final : public IMonotonicClock {
  public:
    MonotonicTime Now() const override { return std::chrono::steady_clock::now(); }
};
} // namespace

const IMonotonicClock& SteadyClock() {
    static const TSteadyClock clock;
    return clock;
}

} // namespace quorvel
