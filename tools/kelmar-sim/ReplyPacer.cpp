#include "ReplyPacer.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace quorvel::sim {

namespace {

constexpr std::int64_t BitsPerCharacter = 11;

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size,
              std::chrono::milliseconds stallLimit) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written > 0) {
            bytes += written;
            size -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        pollfd wait{fd, POLLOUT, 0};
        if (::poll(&wait, 1, static_cast<int>(stallLimit.count())) <= 0) {
            return false;
        }
    }
    return true;
}

} // namespace

std::chrono::microseconds CharacterTime(std::uint32_t baud) {
    if (baud == 0) {
        return std::chrono::microseconds{0};
    }
    return std::chrono::microseconds{(BitsPerCharacter * 1'000'000 + baud - 1) / baud};
}

std::vector<WriteStep> PlanReplyWrites(std::size_t size, const PacingSettings& pacing) {
    std::vector<WriteStep> plan;
    const auto character = CharacterTime(pacing.baud);
    // Paced but unsplit: one byte a write, each at its own time on the line.
    std::size_t chunk = pacing.split > 0 ? pacing.split : (pacing.baud > 0 ? 1 : size);
    chunk = std::max<std::size_t>(chunk, 1);
    for (std::size_t begin = 0, index = 0; begin < size; begin += chunk, ++index) {
        WriteStep step;
        step.begin = begin;
        step.end = std::min(size, begin + chunk);
        // A byte reaches the client once all of its bits have crossed the line.
        step.at = character * static_cast<std::int64_t>(step.end);
        if (pacing.split > 0) {
            step.at += pacing.splitGap * static_cast<std::int64_t>(index);
        }
        plan.push_back(step);
    }
    return plan;
}

bool WritePlanned(int fd, ByteView reply, const std::vector<WriteStep>& plan,
                  std::chrono::milliseconds stallLimit) {
    const auto start = std::chrono::steady_clock::now();
    for (const WriteStep& step : plan) {
        std::this_thread::sleep_until(start + step.at);
        if (!WriteAll(fd, reply.data() + step.begin, step.end - step.begin, stallLimit)) {
            return false;
        }
    }
    return true;
}

} // namespace quorvel::sim
