// The no-answer wait at the console's fastest ticks: more than four silent ticks and a silence of
// NoAnswerTime, counted from the end of the frame's transmission or from the last chunk, so a
// drive that takes a real drive's time still has its reply taken for its own request.
#include "EngineFakes.h"
#include "ReplyFrames.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

// A rig ticking every period at the given baud rate (0: frames take no line time).
struct FastRig : EngineRig {
    FastRig(std::uint8_t mode, std::chrono::microseconds period, std::uint32_t baud = 0)
        : EngineRig(mode) {
        TickPeriod = period;
        Settings.Baudrate = baud;
    }
    // Ticks while the engine awaits a reply; how many ticks ran until it gave up (limit: -1).
    int TicksUntilGivenUp(int limit) {
        for (int n = 1; n <= limit; ++n) {
            Tick();
            if (Engine.PollPhase != AwaitingReply) {
                return n;
            }
        }
        return -1;
    }
};

TEST(EngineNoAnswerWait, AtA2msTickTheWaitLastsTheNoAnswerTimeNotFourTicks) {
    ASSERT_EQ(TPollEngine::NoAnswerTime, 1000ms);
    FastRig rig(ModeRTU, 2ms);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.TicksUntilGivenUp(1000), 500) << "given up at the first tick 1 s after the send";
    EXPECT_EQ(rig.Port.Writes.size(), 1U);
    EXPECT_EQ(rig.TickUntilSent(), 1) << "and the next request goes out at the tick after";
}

TEST(EngineNoAnswerWait, LongTicksStillNeedMoreThanFourOfThem) {
    FastRig rig(ModeASCII, 2s);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.TicksUntilGivenUp(10), 5) << "the time is long past at the first tick";
}

struct LineTimeCase {
    const char* name;
    std::uint8_t mode;
    std::uint32_t baud;
    int ticksOf1ms; // first 1 ms tick at which the silence reaches the no-answer time
};

class EngineNoAnswerWaitLineTime : public ::testing::TestWithParam<LineTimeCase> {};

// The drive cannot answer before the request has left the port: a read request is 17 ASCII
// characters of 10 bits or 8 RTU characters of 11 bits.
TEST_P(EngineNoAnswerWaitLineTime, SilenceCountsFromTheEndOfTheRequestsTransmission) {
    FastRig rig(GetParam().mode, 1ms, GetParam().baud);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.TicksUntilGivenUp(5000), GetParam().ticksOf1ms);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineNoAnswerWaitLineTime,
    ::testing::Values(LineTimeCase{"Ascii1200", ModeASCII, 1200, 1000 + 142}, // 141.7 ms
                      LineTimeCase{"Rtu1200", ModeRTU, 1200, 1000 + 74},      // 73.3 ms
                      LineTimeCase{"Rtu38400", ModeRTU, 38400, 1000 + 3},     // 2.3 ms
                      LineTimeCase{"Ascii115200", ModeASCII, 115200, 1000 + 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineNoAnswerWait, EveryChunkRestartsTheSilence) {
    FastRig rig(ModeASCII, 2ms);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ASSERT_EQ(rig.TicksUntilGivenUp(450), -1); // 900 ms
    rig.Engine.HandleReply(BytesOf(":0103"));  // the start of a reply
    EXPECT_EQ(rig.TicksUntilGivenUp(1000), 500) << "1 s after the chunk, not after the send";
}

// Bytes met while the request is still leaving the port (an adapter echoing the line, noise) do
// not bring the end of the wait forward.
TEST(EngineNoAnswerWait, AChunkDuringTheTransmissionDoesNotShortenTheWait) {
    FastRig rig(ModeASCII, 1ms, 1200);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ASSERT_EQ(rig.TicksUntilGivenUp(10), -1);
    rig.Engine.HandleReply(BytesOf(":01")); // held: fewer than five bytes
    EXPECT_EQ(rig.TicksUntilGivenUp(5000), 1000 + 142 - 10);
}

TEST(EngineNoAnswerWait, ARetransmissionRestartsTheWaitFromItsOwnEnd) {
    FastRig rig(ModeRTU, 1ms, 1200);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ASSERT_EQ(rig.TicksUntilGivenUp(600), -1);
    ByteString corrupt = ReadReply(ModeRTU, 1, 7);
    corrupt.back() ^= 0xFF;
    rig.Engine.HandleReply(corrupt);
    ASSERT_EQ(rig.Port.Writes.size(), 2U) << "a bad frame is still sent again at once";
    EXPECT_EQ(rig.TicksUntilGivenUp(5000), 1000 + 74) << "from the end of the retransmission";
}

// The field case in small: a 15 ms drive, then a 150 ms one, at the 2 ms RTU tick.
TEST(EngineNoAnswerWait, SlowRepliesAtA2msTickReachTheBoxOfTheirOwnRead) {
    FastRig rig(ModeRTU, 2ms, 38400);
    rig.View.Diagram = true;
    struct Step {
        int ticks;
        std::uint16_t word;
        ValueBox box;
        const char* text; // nullptr: the inputs, checked below
    };
    // The reads go out as 1 (current), 2 (reference), 3 (inputs), 0 (frequency).
    for (const Step& step : {Step{8, 120, ValueBox::MotorCurrent, "12.0"},
                             Step{75, 5000, ValueBox::ControlRefSignal, "50.00"},
                             Step{8, 0x0001, ValueBox::Frequency, nullptr},
                             Step{75, 5000, ValueBox::Frequency, "50.00"}}) {
        ASSERT_EQ(rig.TickUntilSent(), 1);
        const std::size_t writes = rig.Port.Writes.size();
        ASSERT_EQ(rig.TicksUntilGivenUp(step.ticks), -1);
        rig.Engine.HandleReply(ReadReply(ModeRTU, 1, step.word));
        EXPECT_EQ(rig.Port.Writes.size(), writes) << "nothing was sent while the drive took time";
        if (step.text != nullptr) {
            EXPECT_EQ(rig.View.Value(step.box), step.text);
        }
    }
    EXPECT_EQ(rig.View.VirtualInputTexts[0], "X");
    EXPECT_EQ(rig.View.ChartSamples, std::vector<std::string>{"50.00"});
    EXPECT_EQ(rig.View.ValueHistory.size(), 3U) << "each read shown once, in its own box";
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, rig.Engine.ExchangeState.ReceivedCount);
}

// A drive slow to store a value: the echo after 300 ms is still the write's, and the read after
// it is answered with its own word.
TEST(EngineNoAnswerWait, ALateWriteEchoIsTheWritesAndTheNextReadGetsItsOwnReply) {
    FastRig rig(ModeRTU, 2ms, 38400);
    rig.Engine.QueueWrite(0, 2500);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString write = rig.Port.Writes.back();
    ASSERT_EQ(rig.TicksUntilGivenUp(150), -1);
    rig.Engine.HandleReply(write);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ASSERT_EQ(rig.Engine.PollIndex, 1);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 70));
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "7.0");
    EXPECT_EQ(rig.View.ValueHistory.size(), 1U);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 0);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 2);
}

TEST(EngineNoAnswerWait, AVanishedDriveAtA2msTickGetsARequestASecond) {
    FastRig rig(ModeRTU, 2ms, 38400);
    for (int tick = 0; tick < 5000; ++tick) { // 10 s
        rig.Tick();
    }
    rig.Tick(); // shows the figures
    // A send; the first tick 1 s (plus the frame's 2.3 ms) after it gives up, the next sends:
    // every 503 ticks.
    EXPECT_EQ(rig.View.Counter(CounterBox::SentMessage), "10");
    EXPECT_EQ(rig.View.Counter(CounterBox::RecMessage), "0");
    EXPECT_EQ(rig.View.Counter(CounterBox::NoAnswer), "10");
}

TEST(EngineNoAnswerWait, WithoutAClockTheEngineTakesTheSteadyClock) {
    TSettings settings;
    settings.Mode = ModeRTU;
    FakeView view;
    FakePort port;
    TPollEngine engine(settings, view, port);
    engine.ArmPollCycle();
    engine.TimerTimer();
    ASSERT_EQ(engine.PollPhase, AwaitingReply);
    const auto sinceSend = std::chrono::steady_clock::now() - engine.LineBusyUntil;
    EXPECT_GE(sinceSend, 0s);
    EXPECT_LT(sinceSend, 60s);
    for (int tick = 0; tick < 10; ++tick) {
        engine.TimerTimer(); // ten ticks in far less than a second
    }
    EXPECT_EQ(engine.PollPhase, AwaitingReply);
    EXPECT_EQ(port.Writes.size(), 1U);
}

} // namespace
} // namespace quorvel::testing
