#include "FrameAssembler.h"

#include "SimTestFrames.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

using namespace std::chrono_literals;
using namespace testframes;

constexpr auto RtuGap = 10ms;
constexpr auto AsciiGap = 1000ms;

ByteString Concat(std::initializer_list<ByteString> parts) {
    ByteString all;
    for (const ByteString& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<ByteString> Bytes(const std::vector<AssembledFrame>& frames) {
    std::vector<ByteString> out;
    for (const auto& frame : frames) {
        out.push_back(frame.bytes);
    }
    return out;
}

// Feeds the stream in chunks of the given size, all at one instant.
std::vector<AssembledFrame> FeedInChunks(FrameAssembler& assembler, const ByteString& stream,
                                         std::size_t chunk, SteadyClock::time_point at) {
    std::vector<AssembledFrame> frames;
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
        const std::size_t n = std::min(chunk, stream.size() - i);
        auto got = assembler.Feed(ByteView(stream.data() + i, n), at);
        frames.insert(frames.end(), got.begin(), got.end());
    }
    return frames;
}

struct StreamCase {
    const char* name;
    ListenMode listen;
    ByteString stream;
    std::vector<ByteString> frames;
    std::vector<LineMode> modes;
    std::uint64_t discarded;
};

class AssemblesStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(AssemblesStream, InAnyChunkingWithoutWaiting) {
    const StreamCase& c = GetParam();
    for (const std::size_t chunk :
         {std::size_t{1}, std::size_t{3}, std::size_t{8}, c.stream.size()}) {
        FrameAssembler assembler(c.listen, RtuGap, AsciiGap);
        const auto frames = FeedInChunks(assembler, c.stream, chunk, SteadyClock::time_point{});
        EXPECT_EQ(Bytes(frames), c.frames) << "chunk " << chunk;
        ASSERT_EQ(frames.size(), c.modes.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].mode, c.modes[i]) << "frame " << i;
        }
        EXPECT_EQ(assembler.DiscardedBytes(), c.discarded) << "chunk " << chunk;
    }
}

const ByteString Noise{0x00, 0xFF, 0x7E};

INSTANTIATE_TEST_SUITE_P(
    Streams, AssemblesStream,
    ::testing::Values(
        StreamCase{"AsciiFrame",
                   ListenMode::Ascii,
                   AsciiReadFrequency,
                   {AsciiReadFrequency},
                   {LineMode::Ascii},
                   0},
        StreamCase{"AsciiTwoFramesBackToBack",
                   ListenMode::Ascii,
                   Concat({AsciiReadFrequency, AsciiWriteReference}),
                   {AsciiReadFrequency, AsciiWriteReference},
                   {LineMode::Ascii, LineMode::Ascii},
                   0},
        StreamCase{"AsciiNoiseBeforeColonDropped",
                   ListenMode::Ascii,
                   Concat({BytesOf("xy\r\n"), AsciiReadFrequency}),
                   {AsciiReadFrequency},
                   {LineMode::Ascii},
                   4},
        StreamCase{"AsciiNewColonAbandonsUnfinishedFrame",
                   ListenMode::Ascii,
                   Concat({BytesOf(":0103F0"), AsciiReadFrequency}),
                   {AsciiReadFrequency},
                   {LineMode::Ascii},
                   7},
        StreamCase{"AsciiLfWithoutCrDoesNotEnd",
                   ListenMode::Ascii,
                   BytesOf(":0103F098000173\n"),
                   {},
                   {},
                   0},
        StreamCase{"AsciiWithoutEndWaits", ListenMode::Ascii, BytesOf(":0103F0980001"), {}, {}, 0},
        StreamCase{
            "RtuFrame", ListenMode::Rtu, RtuReadFrequency, {RtuReadFrequency}, {LineMode::Rtu}, 0},
        StreamCase{"RtuTwoFramesBackToBack",
                   ListenMode::Rtu,
                   Concat({RtuReadFrequency, RtuWriteReference}),
                   {RtuReadFrequency, RtuWriteReference},
                   {LineMode::Rtu, LineMode::Rtu},
                   0},
        StreamCase{"RtuNoiseBeforeFrameResynchronises",
                   ListenMode::Rtu,
                   Concat({Noise, RtuReadCurrentAt16}),
                   {RtuReadCurrentAt16},
                   {LineMode::Rtu},
                   3},
        StreamCase{"RtuFrameWithZeroBytes",
                   ListenMode::Rtu,
                   RtuReadZero,
                   {RtuReadZero},
                   {LineMode::Rtu},
                   0},
        StreamCase{"RtuListenerTakesColonAsData", ListenMode::Rtu, AsciiReadFrequency, {}, {}, 0},
        StreamCase{
            "AutoJudgesEachFrameByItsFirstByte",
            ListenMode::Auto,
            Concat({AsciiReadFrequency, RtuReadFrequency, AsciiWriteReference, RtuWriteReference}),
            {AsciiReadFrequency, RtuReadFrequency, AsciiWriteReference, RtuWriteReference},
            {LineMode::Ascii, LineMode::Rtu, LineMode::Ascii, LineMode::Rtu},
            0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssemblerGap, BadRtuRunBecomesOneFrameOnlyAfterTheSilenceGap) {
    FrameAssembler assembler(ListenMode::Rtu, RtuGap, AsciiGap);
    ByteString bad = RtuReadFrequency;
    bad.back() ^= 0x01;
    const SteadyClock::time_point t0{};
    EXPECT_TRUE(assembler.Feed(bad, t0).empty());
    ASSERT_EQ(assembler.Deadline(), t0 + RtuGap);
    EXPECT_TRUE(assembler.Expire(t0 + RtuGap - 1ms).empty());
    EXPECT_EQ(Bytes(assembler.Expire(t0 + RtuGap)), std::vector<ByteString>{bad});
    EXPECT_FALSE(assembler.Deadline().has_value());
}

TEST(FrameAssemblerGap, SilenceSeparatesAPartialRunFromTheNextFrame) {
    FrameAssembler assembler(ListenMode::Rtu, RtuGap, AsciiGap);
    const SteadyClock::time_point t0{};
    const ByteString head(RtuReadFrequency.begin(), RtuReadFrequency.begin() + 5);
    EXPECT_TRUE(assembler.Feed(head, t0).empty());
    // The next chunk comes after the gap: the stale five bytes are one (bad) frame of their own.
    const auto frames = assembler.Feed(RtuReadFrequency, t0 + RtuGap + 1ms);
    EXPECT_EQ(Bytes(frames), (std::vector<ByteString>{head, RtuReadFrequency}));
}

TEST(FrameAssemblerGap, ShortRtuRunAtTheGapIsNoiseNotAFrame) {
    FrameAssembler assembler(ListenMode::Rtu, RtuGap, AsciiGap);
    const SteadyClock::time_point t0{};
    assembler.Feed(ByteString{0x01, 0x03, 0xF0}, t0);
    EXPECT_TRUE(assembler.Expire(t0 + RtuGap).empty());
    EXPECT_EQ(assembler.DiscardedBytes(), 3u);
}

TEST(FrameAssemblerGap, RtuFunctionOfUnknownLengthEndsAtTheGap) {
    // Function 0x2B (encapsulated interface) has no fixed length: only silence ends it.
    const ByteString request{0x01, 0x2B, 0x0E, 0x01, 0x00, 0x70, 0x77};
    FrameAssembler assembler(ListenMode::Rtu, RtuGap, AsciiGap);
    const SteadyClock::time_point t0{};
    EXPECT_TRUE(assembler.Feed(request, t0).empty());
    EXPECT_EQ(Bytes(assembler.Expire(t0 + RtuGap)), std::vector<ByteString>{request});
}

TEST(FrameAssemblerGap, UnfinishedAsciiFrameIsDroppedAfterItsLongerGap) {
    FrameAssembler assembler(ListenMode::Ascii, RtuGap, AsciiGap);
    const SteadyClock::time_point t0{};
    assembler.Feed(BytesOf(":0103F0"), t0);
    EXPECT_TRUE(assembler.Expire(t0 + RtuGap * 2).empty());
    EXPECT_EQ(assembler.DiscardedBytes(), 0u);
    EXPECT_TRUE(assembler.Expire(t0 + AsciiGap).empty());
    EXPECT_EQ(assembler.DiscardedBytes(), 7u);
    EXPECT_FALSE(assembler.Deadline().has_value());
}

TEST(FrameAssemblerGap, CompleteFramesNeedNoSilence) {
    FrameAssembler assembler(ListenMode::Auto, RtuGap, AsciiGap);
    EXPECT_EQ(assembler.Feed(RtuReadFrequency, SteadyClock::time_point{}).size(), 1u);
    EXPECT_FALSE(assembler.Deadline().has_value());
}

TEST(FrameAssemblerLimits, EndlessNoiseKeepsOnlyOneMaximalFrameBuffered) {
    FrameAssembler assembler(ListenMode::Rtu, RtuGap, AsciiGap);
    const ByteString noise(1000, 0xFF); // 0xFF is no function with a known length
    EXPECT_TRUE(assembler.Feed(noise, SteadyClock::time_point{}).empty());
    EXPECT_EQ(assembler.DiscardedBytes(), 1000u - 256u);
    const auto frames = assembler.Feed(RtuReadFrequency, SteadyClock::time_point{});
    EXPECT_EQ(Bytes(frames), std::vector<ByteString>{RtuReadFrequency});
}

struct LengthCase {
    ByteString head;
    std::optional<std::size_t> length;
};

class RtuLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(RtuLength, FollowsTheFunctionCode) {
    EXPECT_EQ(RtuRequestLength(GetParam().head, 0), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Functions, RtuLength,
                         ::testing::Values(LengthCase{{0x01, 0x03}, 8}, LengthCase{{0x01, 0x06}, 8},
                                           LengthCase{{0x01, 0x04}, 8}, LengthCase{{0x01, 0x07}, 4},
                                           LengthCase{{0x01, 0x10, 0, 0, 0, 2}, std::nullopt},
                                           LengthCase{{0x01, 0x10, 0, 0, 0, 2, 4}, 13},
                                           LengthCase{{0x01, 0x0F, 0, 0, 0, 9, 2}, 11},
                                           LengthCase{{0x01}, std::nullopt},
                                           LengthCase{{0x01, 0x2B}, std::nullopt},
                                           LengthCase{{0x01, 0x83}, std::nullopt}));

} // namespace
} // namespace quorvel::sim
