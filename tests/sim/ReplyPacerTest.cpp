#include "ReplyPacer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel::sim {
namespace {

using std::chrono::microseconds;

struct PlanCase {
    const char* name;
    std::size_t size;
    PacingSettings pacing;
    std::size_t steps;
    std::size_t largestChunk;
    microseconds lastAt;
};

class PlansReply : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlansReply, CoveringEveryByteOnceInOrder) {
    const PlanCase& c = GetParam();
    const auto plan = PlanReplyWrites(c.size, c.pacing);
    ASSERT_EQ(plan.size(), c.steps);
    std::size_t next = 0;
    microseconds previous{0};
    std::size_t largest = 0;
    for (const WriteStep& step : plan) {
        EXPECT_EQ(step.begin, next);
        EXPECT_GT(step.end, step.begin);
        EXPECT_GE(step.at, previous);
        largest = std::max(largest, step.end - step.begin);
        next = step.end;
        previous = step.at;
    }
    EXPECT_EQ(next, c.size);
    EXPECT_EQ(largest, c.largestChunk);
    if (!plan.empty()) {
        EXPECT_EQ(plan.back().at, c.lastAt);
    }
}

// 11 bits a character: 9600 Bd gives 1146 µs (rounded up), 115200 Bd gives 96 µs.
INSTANTIATE_TEST_SUITE_P(
    Pacing, PlansReply,
    ::testing::Values(
        PlanCase{"UnpacedIsOneWriteAtOnce", 17, {0, 0, microseconds{2000}}, 1, 17, microseconds{0}},
        PlanCase{"EmptyReplyNeedsNoWrite", 0, {9600, 3, microseconds{2000}}, 0, 0, microseconds{0}},
        PlanCase{"SplitWithoutPacing", 8, {0, 3, microseconds{2000}}, 3, 3, microseconds{4000}},
        PlanCase{"SplitLargerThanReply", 5, {0, 64, microseconds{2000}}, 1, 5, microseconds{0}},
        PlanCase{"PacedByteByByte", 7, {9600, 0, microseconds{2000}}, 7, 1, microseconds{7 * 1146}},
        PlanCase{"PacedAndSplit",
                 17,
                 {115200, 8, microseconds{500}},
                 3,
                 8,
                 microseconds{17 * 96 + 2 * 500}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CharacterTime, IsElevenBitTimesRoundedUp) {
    EXPECT_EQ(CharacterTime(0), microseconds{0});
    EXPECT_EQ(CharacterTime(9600), microseconds{1146});
    EXPECT_EQ(CharacterTime(1200), microseconds{9167});
    EXPECT_EQ(CharacterTime(11'000'000 / 1000), microseconds{1000});
}

TEST(WritePlanned, DeliversTheWholeReplyIntact) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ByteString reply;
    for (int i = 0; i < 40; ++i) {
        reply.push_back(static_cast<std::uint8_t>(i * 7));
    }
    const PacingSettings pacing{115200, 6, microseconds{100}};
    EXPECT_TRUE(WritePlanned(fds[1], reply, PlanReplyWrites(reply.size(), pacing),
                             std::chrono::milliseconds{5000}));
    ByteString received(reply.size() + 1);
    const ssize_t n = ::read(fds[0], received.data(), received.size());
    ASSERT_EQ(n, static_cast<ssize_t>(reply.size()));
    received.resize(reply.size());
    EXPECT_EQ(received, reply);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(WritePlanned, ReportsAClosedPeer) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const ByteString reply{1, 2, 3};
    // SIGPIPE is the runner's concern; here it must not end the test process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ::sigaction(SIGPIPE, &ignore, &previous);
    EXPECT_FALSE(WritePlanned(fds[1], reply, PlanReplyWrites(reply.size(), {}),
                              std::chrono::milliseconds{100}));
    ::sigaction(SIGPIPE, &previous, nullptr);
    ::close(fds[1]);
}

} // namespace
} // namespace quorvel::sim
