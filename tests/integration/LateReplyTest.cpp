// The engine at the fastest poll ticks against a drive that takes the time a real one takes to
// answer: every value shown and every chart sample is the register that was read, whatever the
// drive's turnaround within the no-answer wait, and every request is answered and counted once.
#include "DriveValueCheck.h"
#include "EngineStation.h"
#include "Simulator.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 60s;

struct TurnaroundCase {
    const char* name;
    std::uint8_t mode;
    std::chrono::milliseconds tick;
    int turnaroundMs;
    int replies; // a whole number of four-read cycles to judge
};

class EngineAgainstASlowDrive : public ::testing::TestWithParam<TurnaroundCase> {};

TEST_P(EngineAgainstASlowDrive, EveryShownValueAndChartSampleIsTheRegisterRead) {
    const TurnaroundCase& c = GetParam();
    // The field's case, running at 50 Hz: the current (120) and the inputs (1) differ from the
    // frequency and the reference (both 5000), so any reply in another box shows but one between
    // those two; the writes of SimulatorTest.cpp tell those apart.
    TSimulator sim(KELMAR_SIM,
                   {"--mode", c.mode == ModeRTU ? "rtu" : "ascii", "--frozen", "--reference", "50",
                    "--inputs", "1", "--turnaround-ms", std::to_string(c.turnaroundMs)});
    TMainLoop loop;
    TEngineStation station(loop);
    ASSERT_TRUE(station.Open(sim.PtyPath(), c.mode, 38400, 1));
    const auto mark = station.Run([](TPollEngine&, FakeView& view) {
        view.Diagram = true;
        return MarkOf(view);
    });
    station.StartPolling(c.tick);
    ASSERT_TRUE(station.WaitFor(
        [&](TPollEngine& e, FakeView&) { return e.ExchangeState.ReceivedCount >= c.replies; },
        Patience));
    station.StopPolling();
    const auto reg = sim.Status();
    station.Run([&](TPollEngine&, FakeView& view) {
        ExpectShownValuesMatch(view, mark, reg, c.name, c.replies / 4);
        EXPECT_EQ(view.ButtonSyncs, std::vector<std::uint8_t>{0x01});
    });

    // Every request the drive saw was answered, and the console judged each answer once.
    std::string figures;
    const bool settled = Eventually(
        [&] {
            const auto counts = sim.Status();
            return station.Run([&](TPollEngine& e, FakeView&) {
                const auto& x = e.ExchangeState;
                figures = "engine sent " + std::to_string(x.SentCount) + " received " +
                          std::to_string(x.ReceivedCount) + "; simulator requests " +
                          std::to_string(counts.at("requests")) + " good replies " +
                          std::to_string(counts.at("replies_good"));
                return x.SentCount == static_cast<std::int32_t>(counts.at("requests")) &&
                       x.ReceivedCount == static_cast<std::int32_t>(counts.at("replies_good"));
            });
        },
        10s);
    EXPECT_TRUE(settled) << figures;
    station.Run([&](TPollEngine& e, FakeView&) {
        EXPECT_EQ(e.ExchangeState.SentCount, e.ExchangeState.ReceivedCount) << "no answer";
        EXPECT_EQ(e.ExchangeState.BadFrameCount, 0);
    });
}

// RTU at 4 character times and 38400 baud ticks every 2 ms, ASCII at its shortest every 10 ms.
// 700 ms is slower than the half second libmodbus gives a reply by default.
INSTANTIATE_TEST_SUITE_P(
    Turnarounds, EngineAgainstASlowDrive,
    ::testing::Values(TurnaroundCase{"Rtu2msTick15ms", ModeRTU, 2ms, 15, 24},
                      TurnaroundCase{"Rtu2msTick60ms", ModeRTU, 2ms, 60, 24},
                      TurnaroundCase{"Rtu2msTick150ms", ModeRTU, 2ms, 150, 24},
                      TurnaroundCase{"Ascii10msTick15ms", ModeASCII, 10ms, 15, 24},
                      TurnaroundCase{"Ascii10msTick60ms", ModeASCII, 10ms, 60, 24},
                      TurnaroundCase{"Ascii10msTick150ms", ModeASCII, 10ms, 150, 24},
                      TurnaroundCase{"Rtu2msTick700ms", ModeRTU, 2ms, 700, 12},
                      // Slower than the console waits on its own: "Időzítés:" raised to
                      // 400 ms, so that the wait of more than four ticks covers the drive.
                      TurnaroundCase{"Ascii400msTick1300ms", ModeASCII, 400ms, 1300, 8}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quorvel::testing
