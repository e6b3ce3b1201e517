// The engine, the real serial link and the drive simulator over a pseudo-terminal, paced by a
// real timer: values reach the right boxes, and with faults on the line the console's counters
// agree exactly with what the simulator says it did.
#include "Simulator.h"
#include "DriveRegisters.h"
#include "DriveValueCheck.h"
#include "EngineStation.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

// The console's default period of 50 ms: the no-answer wait is then at least 200 ms, so even a
// simulator held up by a loaded machine answers inside it, and a reply is never judged together
// with, or instead of, a later request's (which would make one judgement out of two replies).
constexpr auto PollPeriod = 50ms;
constexpr auto Patience = 60s;

const char* ModeOption(std::uint8_t mode) {
    return mode == ModeRTU ? "rtu" : "ascii";
}

struct ValueStep {
    double referenceHz;
    std::uint8_t inputs;
};

// How often the console ticks and how the drive takes its time.
struct ValueTiming {
    const char* name;
    std::uint8_t mode;
    std::chrono::milliseconds tick;
    std::vector<std::string> drive; // kelmar-sim options
};

class EngineWithSimulatorValues : public ::testing::TestWithParam<ValueTiming> {};

TEST_P(EngineWithSimulatorValues, BoxesAndChartFollowTheDriveRegistersThroughWrites) {
    const ValueTiming& timing = GetParam();
    std::vector<std::string> options{"--mode", ModeOption(timing.mode), "--frozen", "--inputs",
                                     "0x09",   "--reference",           "12.5"};
    options.insert(options.end(), timing.drive.begin(), timing.drive.end());
    TSimulator sim(KELMAR_SIM, options);
    TMainLoop loop;
    TEngineStation station(loop);
    ASSERT_TRUE(station.Open(sim.PtyPath(), timing.mode, 38400, 1));
    station.Run([](TPollEngine&, FakeView& view) { view.Diagram = true; });
    station.StartPolling(timing.tick);
    // One full cycle first: the buttons take the drive's inputs from the first inputs read.
    ASSERT_TRUE(station.WaitFor(
        [](TPollEngine& e, FakeView&) { return e.ExchangeState.ReceivedCount >= 4; }, Patience));

    const std::vector<ValueStep> steps{
        {50.0, 0x01}, {1000.0, 0x15}, {0.0, 0x01}, {327.7, 0x3F}, {3604.4, 0x2A}};
    for (const ValueStep& step : steps) {
        const std::string name = "step " + std::to_string(step.referenceHz) + " Hz";
        const std::uint16_t word = EncodeFrequencyWord(step.referenceHz).value();
        station.Run([&](TPollEngine& engine, FakeView&) {
            engine.QueueWrite(0, word);
            engine.QueueWrite(1, step.inputs);
        });
        // Once the simulator holds both values, every read sent from then on answers them.
        std::map<std::string, std::uint64_t> reg;
        ASSERT_TRUE(Eventually(
            [&] {
                reg = sim.Status();
                return reg["F510"] == word && reg["F508"] == step.inputs;
            },
            Patience))
            << name << ": write not stored";
        const auto [mark, received] = station.Run([](TPollEngine& e, FakeView& v) {
            return std::pair(MarkOf(v), e.ExchangeState.ReceivedCount);
        });
        ASSERT_TRUE(station.WaitFor(
            [&](TPollEngine& e, FakeView&) {
                return e.ExchangeState.ReceivedCount >= received + 60;
            },
            Patience))
            << name;
        station.Run([&](TPollEngine&, FakeView& view) {
            ExpectShownValuesMatch(view, mark, reg, name, 5);
        });
    }
    station.StopPolling();
    station.Run([&](TPollEngine& engine, FakeView& view) {
        EXPECT_EQ(view.ButtonSyncs, std::vector<std::uint8_t>{0x09}) << "buttons synced once";
        EXPECT_EQ(engine.ExchangeState.BadFrameCount, 0);
        EXPECT_EQ(engine.ExchangeState.ExceptionCount, 0);
    });
}

// The console's period, and the fastest ticks of each mode (RTU: 4 character times at 38400
// baud, 2 ms; ASCII: 10 ms) against a drive that answers reads after 15 ms but takes 300 ms to
// store a write and echo it.
INSTANTIATE_TEST_SUITE_P(
    Timings, EngineWithSimulatorValues,
    ::testing::Values(ValueTiming{"Ascii50msPrompt", ModeASCII, PollPeriod, {}},
                      ValueTiming{"Rtu50msPrompt", ModeRTU, PollPeriod, {}},
                      ValueTiming{"Rtu2msSlowWrites",
                                  ModeRTU,
                                  2ms,
                                  {"--turnaround-ms", "15", "--write-turnaround-ms", "300"}},
                      ValueTiming{"Ascii10msSlowWrites",
                                  ModeASCII,
                                  10ms,
                                  {"--turnaround-ms", "15", "--write-turnaround-ms", "300"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Fault runs. What makes the figures reconcile exactly:
// - requests reach the simulator intact (a pty does not corrupt), so every frame the console
//   writes, retransmissions included, is one simulator request: Sent == requests;
// - every reply the simulator sends is judged exactly once: 50 ms ticks keep replies far inside
//   the no-answer wait, and stray bytes (1-4, never a frame start) are always glued in front of
//   the reply they precede, so garbage + reply is one bad frame;
// - a dropped reply is exactly one timeout: Sent - Received == dropped;
// - one damage per reply: corruption and garbage are never combined in one run (a corrupted
//   reply with garbage would be one bad frame counted twice by the simulator), nor exceptions
//   with garbage (an exception behind garbage is a bad frame, not an exception);
// - split replies wait in the buffer until complete, except an RTU write echo, which has no
//   incomplete state (a cut echo is judged bad at its fifth byte): the RTU split run polls only.
struct FaultCase {
    const char* name;
    std::uint8_t mode;
    std::vector<std::string> options;
    bool writes;
};

class EngineWithSimulatorFaults : public ::testing::TestWithParam<FaultCase> {};

constexpr std::int32_t FaultRunRequests = 300;

TEST_P(EngineWithSimulatorFaults, CounterFiguresReconcileWithTheSimulatorSummary) {
    const FaultCase& c = GetParam();
    std::vector<std::string> options{"--mode", ModeOption(c.mode), "--seed", "20261208"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    TSimulator sim(KELMAR_SIM, options);
    TMainLoop loop;
    TEngineStation station(loop);
    ASSERT_TRUE(station.Open(sim.PtyPath(), c.mode, 38400, 1));
    station.StartPolling(PollPeriod);

    for (std::int32_t sent = 25; sent <= FaultRunRequests; sent += 25) {
        ASSERT_TRUE(station.WaitFor(
            [&](TPollEngine& e, FakeView&) { return e.ExchangeState.SentCount >= sent; },
            Patience));
        if (c.writes && sent < FaultRunRequests) {
            station.Run([&](TPollEngine& e, FakeView&) {
                e.QueueWrite(static_cast<std::size_t>(sent / 25 % 2),
                             static_cast<std::uint16_t>(sent / 25 % 2 ? sent % 64 : sent * 10));
            });
        }
    }
    station.StopPolling();

    // Let the last exchange (and any retransmission it causes) finish.
    std::string figures;
    const bool settled = Eventually(
        [&] {
            auto st = sim.Status();
            return station.Run([&](TPollEngine& e, FakeView&) {
                const auto& x = e.ExchangeState;
                const std::uint64_t replies =
                    st["replies_good"] + st["replies_exception"] + st["replies_corrupted"];
                figures = "engine sent " + std::to_string(x.SentCount) + " received " +
                          std::to_string(x.ReceivedCount) + " buffered " +
                          std::to_string(x.ReceiveBuffer.size()) + "; simulator requests " +
                          std::to_string(st["requests"]) + " replies " + std::to_string(replies);
                return x.SentCount == static_cast<std::int32_t>(st["requests"]) &&
                       x.ReceivedCount == static_cast<std::int32_t>(replies) &&
                       x.ReceiveBuffer.empty();
            });
        },
        Patience);
    ASSERT_TRUE(settled) << "the exchange did not settle: " << figures;

    // One more tick with nothing to send refreshes the boxes the way the console shows them.
    station.Run([](TPollEngine& e, FakeView&) {
        const std::int32_t sent = e.ExchangeState.SentCount;
        e.Check_QueryClick(false, false, false, false);
        e.TimerTimer();
        ASSERT_EQ(e.ExchangeState.SentCount, sent) << "the refresh tick sent a frame";
    });
    auto sum = sim.Stop();
    ASSERT_FALSE(sum.empty()) << "no summary";
    const auto text = [](std::uint64_t n) { return std::to_string(n); };
    station.Run([&](TPollEngine&, FakeView& view) {
        EXPECT_EQ(view.Counter(CounterBox::SentMessage), text(sum["requests"]));
        EXPECT_EQ(view.Counter(CounterBox::RecMessage),
                  text(sum["replies_good"] + sum["replies_exception"] + sum["replies_corrupted"]));
        EXPECT_EQ(view.Counter(CounterBox::NoAnswer), text(sum["replies_dropped"]));
        EXPECT_EQ(view.Counter(CounterBox::ErrorMessage), text(sum["replies_exception"]));
        EXPECT_EQ(view.Counter(CounterBox::Error),
                  text(sum["replies_corrupted"] + sum["garbage_bursts"]));
    });
    EXPECT_EQ(sum["requests_bad_checksum"], 0U);
    EXPECT_EQ(sum["requests_other_address"], 0U);
    EXPECT_EQ(sum["discarded_bytes"], 0U);
    // The run must actually have exercised what it claims to.
    const std::map<std::string, std::string> evidence{{"--drop-rate", "replies_dropped"},
                                                      {"--corrupt-rate", "replies_corrupted"},
                                                      {"--garbage-rate", "garbage_bursts"},
                                                      {"--exception-rate", "replies_exception"}};
    for (const std::string& option : c.options) {
        if (evidence.count(option)) {
            EXPECT_GT(sum[evidence.at(option)], 0U) << option;
        }
    }
    EXPECT_GE(sum["requests"], static_cast<std::uint64_t>(FaultRunRequests));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineWithSimulatorFaults,
    ::testing::Values(
        FaultCase{"AsciiDropCorruptException",
                  ModeASCII,
                  {"--drop-rate", "0.08", "--corrupt-rate", "0.08", "--exception-rate", "0.08"},
                  true},
        FaultCase{"RtuDropCorruptException",
                  ModeRTU,
                  {"--drop-rate", "0.08", "--corrupt-rate", "0.08", "--exception-rate", "0.08"},
                  true},
        FaultCase{
            "AsciiDropGarbage", ModeASCII, {"--drop-rate", "0.08", "--garbage-rate", "0.15"}, true},
        FaultCase{
            "RtuDropGarbage", ModeRTU, {"--drop-rate", "0.08", "--garbage-rate", "0.15"}, true},
        FaultCase{"AsciiSplitException",
                  ModeASCII,
                  {"--split", "4", "--exception-rate", "0.1", "--drop-rate", "0.05"},
                  true},
        FaultCase{"RtuSplitException",
                  ModeRTU,
                  {"--split", "3", "--exception-rate", "0.1", "--drop-rate", "0.05"},
                  false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::testing
