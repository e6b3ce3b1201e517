#include "FaultInjector.h"

namespace quorvel::sim {

namespace {

constexpr unsigned MaxGarbageBytes = 4;

// Stray bytes must not be taken for a reply's start (or, in ASCII, its end) by the client.
bool Allowed(LineMode mode, std::uint8_t byte, std::uint8_t address, bool first) {
    if (mode == LineMode::Ascii) {
        return byte != ':' && byte != '\r' && byte != '\n';
    }
    return !first || byte != address;
}

} // namespace

FaultInjector::FaultInjector(const FaultRates& rates, std::uint64_t seed)
    : rates_(rates), decisions_(seed), strayBytes_(seed ^ 0x9E3779B97F4A7C15ULL) {}

FaultPlan FaultInjector::Next(LineMode mode, std::uint8_t address) {
    // All four draws happen on every call so that one rate never shifts another's sequence.
    FaultPlan plan;
    plan.drop = Chance(rates_.drop);
    plan.exception = Chance(rates_.exception);
    plan.corrupt = Chance(rates_.corrupt);
    const bool garbage = Chance(rates_.garbage);
    if (plan.drop) {
        plan.exception = plan.corrupt = false;
        return plan;
    }
    if (garbage) {
        plan.garbage = Garbage(mode, address);
    }
    return plan;
}

double FaultInjector::Uniform() {
    // 53 random bits → [0, 1), the same on every standard library.
    return static_cast<double>(decisions_() >> 11) * 0x1.0p-53;
}

bool FaultInjector::Chance(double rate) {
    return Uniform() < rate;
}

ByteString FaultInjector::Garbage(LineMode mode, std::uint8_t address) {
    const auto count = 1 + static_cast<unsigned>(strayBytes_() % MaxGarbageBytes);
    ByteString bytes;
    while (bytes.size() < count) {
        const auto byte = static_cast<std::uint8_t>(strayBytes_() & 0xFF);
        if (Allowed(mode, byte, address, bytes.empty())) {
            bytes.push_back(byte);
        }
    }
    return bytes;
}

} // namespace quorvel::sim
