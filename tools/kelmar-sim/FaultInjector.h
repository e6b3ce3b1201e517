// Seeded, repeatable choice of the line faults to apply to one reply: drop it, replace it by
// exception 04, damage its checksum, put stray bytes before it. Single-threaded.
#pragma once

#include "LineMode.h"

#include "ByteString.h"

#include <cstdint>
#include <random>

namespace quorvel::sim {

// Probabilities from 0 to 1; all zero means a faultless line.
struct FaultRates {
    double drop = 0.0;
    double corrupt = 0.0;
    double garbage = 0.0;
    double exception = 0.0;
};

struct FaultPlan {
    bool drop = false;      // no reply at all (the request still takes effect)
    bool exception = false; // exception 04 instead of the answer (the request does not)
    bool corrupt = false;   // the reply's LRC / CRC is made wrong
    ByteString garbage;     // stray bytes sent just before the reply
};

class FaultInjector {
  public:
    FaultInjector(const FaultRates& rates, std::uint64_t seed);

    // The faults for the next reply. The same seed and call sequence give the same plans.
    FaultPlan Next(LineMode mode, std::uint8_t address);

  private:
    double Uniform();
    bool Chance(double rate);
    ByteString Garbage(LineMode mode, std::uint8_t address);

    FaultRates rates_;
    std::mt19937_64 decisions_;
    std::mt19937_64 strayBytes_; // its own stream, so garbage contents never shift the decisions
};

} // namespace quorvel::sim
