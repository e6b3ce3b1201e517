// Cuts the byte stream from the line into candidate request frames: ASCII from ':' to CR LF,
// RTU by the length its function code implies, with a silence gap that ends partial frames.
// Single-threaded; times are the caller's steady-clock readings.
#pragma once

#include "LineMode.h"

#include "ByteString.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel::sim {

using SteadyClock = std::chrono::steady_clock;

struct AssembledFrame {
    LineMode mode = LineMode::Rtu;
    ByteString bytes; // the whole frame as received, checksum included
};

class FrameAssembler {
  public:
    // rtuGap: silence that ends an RTU run; asciiGap: silence that drops a partial ASCII frame.
    FrameAssembler(ListenMode listen, SteadyClock::duration rtuGap, SteadyClock::duration asciiGap);

    // Appends a received chunk; returns the frames it completes, in order.
    std::vector<AssembledFrame> Feed(ByteView chunk, SteadyClock::time_point now);
    // Ends a pending run whose silence gap has elapsed by now (an RTU run becomes a frame).
    std::vector<AssembledFrame> Expire(SteadyClock::time_point now);
    // When Expire has work to do; nullopt while nothing is pending.
    std::optional<SteadyClock::time_point> Deadline() const;
    // Stray bytes thrown away while resynchronising.
    std::uint64_t DiscardedBytes() const { return discarded_; }

  private:
    void FeedByte(std::uint8_t byte, std::vector<AssembledFrame>& out);
    void FeedAscii(std::uint8_t byte, std::vector<AssembledFrame>& out);
    void ExtractRtu(std::vector<AssembledFrame>& out);
    void Discard(std::size_t count);
    SteadyClock::duration Gap() const;

    ListenMode listen_;
    SteadyClock::duration rtuGap_;
    SteadyClock::duration asciiGap_;
    std::optional<LineMode> pendingMode_;
    ByteString pending_;
    SteadyClock::time_point lastByte_{};
    std::uint64_t discarded_ = 0;
};

// Length of the RTU request whose address byte is at offset start, judged by its function
// code (and byte count where the function has one); nullopt when unknown or not yet readable.
std::optional<std::size_t> RtuRequestLength(ByteView bytes, std::size_t start);

} // namespace quorvel::sim
