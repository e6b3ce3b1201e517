// One simulated slave on the line: judges each assembled frame, counts it, lets the drive act
// on it, applies the planned faults and gives the bytes to send back. No I/O; single-threaded.
#pragma once

#include "DriveModel.h"
#include "FaultInjector.h"
#include "FrameAssembler.h"
#include "SimCounters.h"

#include "ByteString.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel::sim {

struct HandledFrame {
    std::optional<ByteString> reply; // stray bytes (if any) then the reply frame; nullopt: silence
    std::string_view verdict;        // short word for the diagnostics log
    bool writeEcho = false;          // the reply echoes a write (the drive stored a value)
};

class SimSession {
  public:
    SimSession(std::uint8_t address, const DriveModel& drive, const FaultInjector& faults);

    // Handles one frame received elapsedSeconds after the start (never decreasing).
    HandledFrame Handle(const AssembledFrame& frame, double elapsedSeconds);
    // Brings the drive's ramp up to the given time without a request.
    void AdvanceTo(double elapsedSeconds);

    void SetDiscardedBytes(std::uint64_t count) { counters_.discardedBytes = count; }
    const SimCounters& Counters() const { return counters_; }
    DriveRegisters Registers() const { return drive_.Registers(); }

  private:
    HandledFrame Answer(const AssembledFrame& frame, std::uint8_t function, ByteView data);

    std::uint8_t address_;
    DriveModel drive_;
    FaultInjector faults_;
    SimCounters counters_;
    double elapsed_ = 0.0;
};

} // namespace quorvel::sim
