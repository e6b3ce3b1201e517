// kelmar-sim's command line: every option with its default, and the parser that checks ranges.
// Plain data; parsing is pure.
#pragma once

#include "DriveModel.h"
#include "FaultInjector.h"
#include "LineMode.h"
#include "ReplyPacer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::sim {

struct SimOptions {
    std::string name = "KELMAR1";
    std::uint8_t address = 1;
    ListenMode mode = ListenMode::Auto;
    DriveSettings drive;
    double durationSeconds = 0.0; // 0: run until a signal
    std::string statusFile;
    bool verbose = false;
    std::uint32_t turnaroundMs = 0;
    std::optional<std::uint32_t> writeTurnaroundMs; // before a write's echo; absent: turnaroundMs
    PacingSettings pacing;
    std::optional<std::uint32_t> gapMs; // RTU silence that ends a frame; derived when absent
    FaultRates faults;
    std::optional<std::uint64_t> seed;
    bool help = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error; // empty when the command line was valid
};

// Arguments without the program name; accepts "--opt value" and "--opt=value".
ParsedOptions ParseSimOptions(const std::vector<std::string>& args);

std::string UsageText();

} // namespace quorvel::sim
