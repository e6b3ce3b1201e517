// Counts of requests seen and replies sent by kind, and their JSON renderings: the exit
// summary line and the status file. Plain data; single-threaded.
#pragma once

#include "DriveModel.h"

#include <cstdint>
#include <string>

namespace quorvel::sim {

// Every assembled frame lands in exactly one of: requests_bad_checksum, requests_other_address,
// or one reply kind (good, exception, corrupted, dropped). Garbage bursts ride on sent replies.
struct SimCounters {
    std::uint64_t requests = 0;
    std::uint64_t requestsBadChecksum = 0;
    std::uint64_t requestsOtherAddress = 0;
    std::uint64_t repliesGood = 0;
    std::uint64_t repliesException = 0;
    std::uint64_t repliesCorrupted = 0;
    std::uint64_t repliesDropped = 0;
    std::uint64_t garbageBursts = 0;
    std::uint64_t exceptionsInjected = 0; // exception 04 replies, whatever became of them
    std::uint64_t discardedBytes = 0;     // stray bytes outside any frame
};

// {"requests":…,…,"seed":…} on one line.
std::string SummaryJson(const SimCounters& counters, std::uint64_t seed);

// {"registers":{"F098":…,"F0A0":…,"F510":…,"F508":…},"counts":{…}} on one line.
std::string StatusJson(const DriveRegisters& registers, const SimCounters& counters);

// Replaces path's content at once (a temporary beside it, then rename); false on failure.
bool WriteFileAtomically(const std::string& path, const std::string& text);

} // namespace quorvel::sim
