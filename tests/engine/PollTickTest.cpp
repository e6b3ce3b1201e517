// The poll tick: counter boxes, the no-answer timeout, the deferred counter reset, logging.
#include "EngineFakes.h"
#include "ReplyFrames.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorvel::testing {
namespace {

struct CounterFigures {
    const char* sent;
    const char* received;
    const char* noAnswer;
    const char* exceptions;
    const char* bad;
};

void ExpectCounters(const FakeView& view, const CounterFigures& f) {
    EXPECT_EQ(view.Counter(CounterBox::SentMessage), f.sent);
    EXPECT_EQ(view.Counter(CounterBox::RecMessage), f.received);
    EXPECT_EQ(view.Counter(CounterBox::NoAnswer), f.noAnswer);
    EXPECT_EQ(view.Counter(CounterBox::ErrorMessage), f.exceptions);
    EXPECT_EQ(view.Counter(CounterBox::Error), f.bad);
}

TEST(EnginePollTick, TracedAsciiReadIsFramedWrittenAndLogged) {
    EngineRig rig(ModeASCII);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString expected = BytesOf(":0103F0A000016B\r\n");
    EXPECT_EQ(rig.Port.Writes.back(), expected);
    EXPECT_EQ(rig.Engine.ExchangeState.LastSentFrame, expected);
    ASSERT_EQ(rig.View.SentLines.size(), 1U);
    EXPECT_EQ(rig.View.SentLines[0], "3A 30 31 30 33 46 30 41 30 30 30 30 31 36 42 0D 0A ");
    EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply);
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 1);
    ExpectCounters(rig.View, {"0", "0", "0", "0", "0"}); // refreshed before the send
}

TEST(EnginePollTick, TimeoutAtFifthSilentTickAndNextSendAtSixth) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    for (int tick = 1; tick <= 4; ++tick) {
        rig.Tick();
        EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply) << "tick " << tick;
    }
    rig.Tick();
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
    EXPECT_EQ(rig.Port.Writes.size(), 1U);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 0);
    rig.Tick();
    EXPECT_EQ(rig.Port.Writes.size(), 2U);
}

TEST(EnginePollTick, EveryReceivedChunkRestartsTheWait) {
    EngineRig rig(ModeASCII);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString reply = ReadReply(ModeASCII, 1, 123);
    for (std::size_t i = 0; i + 1 < reply.size(); ++i) {
        for (int tick = 0; tick < 4; ++tick) {
            rig.Tick();
        }
        rig.Engine.HandleReply({reply[i]});
        ASSERT_EQ(rig.Engine.PollPhase, AwaitingReply) << "byte " << i;
    }
    rig.Engine.HandleReply({reply.back()});
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
    EXPECT_EQ(rig.Port.Writes.size(), 1U);
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "12.3");
}

TEST(EnginePollTick, DriveThatNeverAnswersGetsOneFrameEverySixthTick) {
    EngineRig rig(ModeRTU);
    for (int tick = 1; tick <= 61; ++tick) {
        rig.Tick();
        const std::size_t expectedWrites = static_cast<std::size_t>((tick + 5) / 6);
        ASSERT_EQ(rig.Port.Writes.size(), expectedWrites) << "tick " << tick;
    }
    rig.Tick(); // shows the counts of the 61 ticks
    ExpectCounters(rig.View, {"11", "0", "11", "0", "0"});
}

TEST(EnginePollTick, CounterResetWaitsWhileAReplyIsAwaited) {
    EngineRig rig(ModeASCII);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.HandleReply(ReadReply(ModeASCII, 1, 1));
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.Bt_ClearClick();
    rig.Tick();
    ExpectCounters(rig.View, {"2", "1", "1", "0", "0"});
    rig.Engine.HandleReply(ExceptionReply(ModeASCII, 1, 3, 2));
    EXPECT_EQ(rig.Engine.ExchangeState.ExceptionCount, 1) << "the late reply still counts";
    rig.Tick(); // first tick no longer awaiting: zeroed, shown, then a send
    ExpectCounters(rig.View, {"0", "0", "0", "0", "0"});
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 1);
    EXPECT_EQ(rig.Engine.CounterResetRequest, 0);
}

TEST(EnginePollTick, CounterResetAfterTimeoutWaitsForTheTimeoutTick) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.Bt_ClearClick();
    for (int tick = 1; tick <= 5; ++tick) {
        rig.Tick(); // the fifth sets ReadyToSend after its refresh
    }
    EXPECT_EQ(rig.View.Counter(CounterBox::SentMessage), "1");
    rig.Tick();
    EXPECT_EQ(rig.View.Counter(CounterBox::SentMessage), "0");
}

TEST(EnginePollTick, ClosedPortTickDoesNothingButRefresh) {
    TSettings settings;
    FakeView view;
    FakePort port;
    TPollEngine engine(settings, view, port);
    engine.Bt_ClearClick();
    engine.TimerTimer(); // Idle: counters shown, nothing sent
    EXPECT_TRUE(port.Writes.empty());
    EXPECT_EQ(view.Counter(CounterBox::SentMessage), "0");
    EXPECT_EQ(engine.PollPhase, Idle);
}

TEST(EnginePollTick, MessagesButtonUpLogsNothingButCountsAsUsual) {
    EngineRig rig(ModeRTU);
    rig.View.Messages = false;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ByteString corrupt = ReadReply(ModeRTU, 1, 7);
    corrupt.back() ^= 0xFF;
    rig.Engine.HandleReply(corrupt); // bad: retransmitted
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 7));
    rig.Tick(); // shows the figures, then sends the next read
    EXPECT_TRUE(rig.View.SentLines.empty());
    EXPECT_TRUE(rig.View.ReceivedLines.empty());
    EXPECT_EQ(rig.Port.Writes.size(), 3U);
    ExpectCounters(rig.View, {"2", "2", "0", "0", "1"});
}

TEST(EnginePollTick, FailedPortWriteStillCountsAsSentAndTimesOut) {
    EngineRig rig(ModeRTU);
    rig.Port.Succeeds = false;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.TickUntilSent(), 6);
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 2);
}

struct DifferenceCase {
    std::int32_t sent;
    std::int32_t received;
    const char* noAnswer;
};

class EngineNoAnswerBox : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(EngineNoAnswerBox, ShowsSentMinusReceivedAsSigned32Bit) {
    EngineRig rig(ModeRTU);
    rig.Engine.CounterResetRequest = 0;
    rig.Engine.PollPhase = Idle;
    rig.Engine.ExchangeState.SentCount = GetParam().sent;
    rig.Engine.ExchangeState.ReceivedCount = GetParam().received;
    rig.Tick();
    EXPECT_EQ(rig.View.Counter(CounterBox::SentMessage), std::to_string(GetParam().sent));
    EXPECT_EQ(rig.View.Counter(CounterBox::NoAnswer), GetParam().noAnswer);
}

constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(Cases, EngineNoAnswerBox,
                         ::testing::Values(DifferenceCase{10, 4, "6"}, DifferenceCase{4, 10, "-6"},
                                           DifferenceCase{Min32, 1, "2147483647"},
                                           DifferenceCase{Max32, -1, "-2147483648"},
                                           DifferenceCase{Min32, Max32, "1"}));

TEST(EnginePollTick, SentCounterWrapsInsteadOfOverflowing) {
    EngineRig rig(ModeRTU);
    rig.Engine.CounterResetRequest = 0;
    rig.Engine.ExchangeState.SentCount = Max32;
    rig.Engine.ExchangeState.ReceivedCount = Max32;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, Min32);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 5));
    rig.Tick();
    EXPECT_EQ(rig.View.Counter(CounterBox::NoAnswer), "0");
}

TEST(EnginePollTick, SilenceCountSaturatesAtItsTop) {
    EngineRig rig(ModeRTU);
    rig.Engine.PollPhase = Idle;
    rig.Engine.SilenceTicks = Max32 - 1;
    rig.Tick();
    rig.Tick();
    EXPECT_EQ(rig.Engine.SilenceTicks, Max32);
}

struct DumpCase {
    ByteString bytes;
    const char* line;
};

class EngineFrameDump : public ::testing::TestWithParam<DumpCase> {};

TEST_P(EngineFrameDump, WritesTwoUppercaseDigitsAndABlankPerByte) {
    EXPECT_EQ(FrameDump(GetParam().bytes), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(Cases, EngineFrameDump,
                         ::testing::Values(DumpCase{{}, ""},
                                           DumpCase{{0x3A, 0x30, 0x31}, "3A 30 31 "},
                                           DumpCase{{0x00, 0xFF, 0x0A, 0xAB}, "00 FF 0A AB "}));

} // namespace
} // namespace quorvel::testing
