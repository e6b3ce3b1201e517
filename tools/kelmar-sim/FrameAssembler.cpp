#include "FrameAssembler.h"

#include "Functionsmodbus.h"

#include <utility>

namespace quorvel::sim {

namespace {

// Longest Modbus serial frames: 256 bytes in RTU, 513 characters in ASCII.
constexpr std::size_t MaxRtuFrame = 256;
constexpr std::size_t MaxAsciiFrame = 513;
constexpr std::size_t MinRtuFrame = 4; // address, function, CRC

bool CrcMatches(const std::uint8_t* frame, std::size_t size) {
    if (size < MinRtuFrame) {
        return false;
    }
    const auto count = static_cast<std::uint16_t>(size - 2);
    const std::uint16_t received =
        static_cast<std::uint16_t>(frame[size - 2] | frame[size - 1] << 8);
    return Crc16(frame, count) == received;
}

bool EndsWithCrLf(const ByteString& bytes) {
    const std::size_t n = bytes.size();
    return n >= 2 && bytes[n - 2] == '\r' && bytes[n - 1] == '\n';
}

// First complete frame with a matching CRC, as (offset, length): bytes before it are noise.
std::optional<std::pair<std::size_t, std::size_t>> FindRtuFrame(const ByteString& bytes) {
    for (std::size_t start = 0; start < bytes.size(); ++start) {
        const auto length = RtuRequestLength(bytes, start);
        if (length && start + *length <= bytes.size() &&
            CrcMatches(bytes.data() + start, *length)) {
            return std::pair{start, *length};
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> RtuRequestLength(ByteView bytes, std::size_t start) {
    const auto at = [&](std::size_t offset) -> std::optional<std::size_t> {
        if (start + offset >= bytes.size()) {
            return std::nullopt;
        }
        return bytes[start + offset];
    };
    const auto function = at(1);
    if (!function) {
        return std::nullopt;
    }
    switch (*function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8:
        return 8;
    case 7:
    case 11:
    case 12:
    case 17:
        return 4;
    case 15:
    case 16: {
        const auto count = at(6);
        return count ? std::optional<std::size_t>(9 + *count) : std::nullopt;
    }
    case 20:
    case 21: {
        const auto count = at(2);
        return count ? std::optional<std::size_t>(5 + *count) : std::nullopt;
    }
    case 22:
        return 10;
    case 23: {
        const auto count = at(10);
        return count ? std::optional<std::size_t>(13 + *count) : std::nullopt;
    }
    case 24:
        return 6;
    default:
        return std::nullopt;
    }
}

FrameAssembler::FrameAssembler(ListenMode listen, SteadyClock::duration rtuGap,
                               SteadyClock::duration asciiGap)
    : listen_(listen), rtuGap_(rtuGap), asciiGap_(asciiGap) {}

std::vector<AssembledFrame> FrameAssembler::Feed(ByteView chunk, SteadyClock::time_point now) {
    std::vector<AssembledFrame> out = Expire(now);
    for (const std::uint8_t byte : chunk) {
        FeedByte(byte, out);
    }
    if (!chunk.empty()) {
        lastByte_ = now;
    }
    return out;
}

std::vector<AssembledFrame> FrameAssembler::Expire(SteadyClock::time_point now) {
    std::vector<AssembledFrame> out;
    if (!pendingMode_ || now - lastByte_ < Gap()) {
        return out;
    }
    // In RTU everything between two silences is one frame; short runs are only noise.
    if (*pendingMode_ == LineMode::Rtu && pending_.size() >= MinRtuFrame) {
        out.push_back({LineMode::Rtu, std::move(pending_)});
        pending_.clear();
        pendingMode_.reset();
    } else {
        Discard(pending_.size());
    }
    return out;
}

std::optional<SteadyClock::time_point> FrameAssembler::Deadline() const {
    if (!pendingMode_) {
        return std::nullopt;
    }
    return lastByte_ + Gap();
}

SteadyClock::duration FrameAssembler::Gap() const {
    return pendingMode_ == LineMode::Ascii ? asciiGap_ : rtuGap_;
}

void FrameAssembler::FeedByte(std::uint8_t byte, std::vector<AssembledFrame>& out) {
    if (!pendingMode_) {
        const bool colon = byte == ':';
        if (listen_ == ListenMode::Ascii && !colon) {
            ++discarded_;
            return;
        }
        const bool ascii = listen_ == ListenMode::Ascii || (listen_ == ListenMode::Auto && colon);
        pendingMode_ = ascii ? LineMode::Ascii : LineMode::Rtu;
    }
    if (*pendingMode_ == LineMode::Ascii) {
        FeedAscii(byte, out);
        return;
    }
    pending_.push_back(byte);
    ExtractRtu(out);
}

void FrameAssembler::FeedAscii(std::uint8_t byte, std::vector<AssembledFrame>& out) {
    if (byte == ':' && !pending_.empty()) {
        // A new start character abandons the unfinished frame.
        Discard(pending_.size());
        pendingMode_ = LineMode::Ascii;
    }
    pending_.push_back(byte);
    if (EndsWithCrLf(pending_)) {
        out.push_back({LineMode::Ascii, std::move(pending_)});
        pending_.clear();
        pendingMode_.reset();
    } else if (pending_.size() > MaxAsciiFrame) {
        Discard(pending_.size());
    }
}

void FrameAssembler::ExtractRtu(std::vector<AssembledFrame>& out) {
    while (const auto found = FindRtuFrame(pending_)) {
        const auto first = pending_.begin() + static_cast<std::ptrdiff_t>(found->first);
        const auto last = first + static_cast<std::ptrdiff_t>(found->second);
        out.push_back({LineMode::Rtu, ByteString(first, last)});
        discarded_ += found->first;
        pending_.erase(pending_.begin(), last);
    }
    if (pending_.size() > MaxRtuFrame) {
        const std::size_t excess = pending_.size() - MaxRtuFrame;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(excess));
        discarded_ += excess;
    }
    if (pending_.empty()) {
        pendingMode_.reset();
    }
}

void FrameAssembler::Discard(std::size_t count) {
    discarded_ += count;
    pending_.clear();
    pendingMode_.reset();
}

} // namespace quorvel::sim
