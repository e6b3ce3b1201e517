// The engine against another implementation of the protocol: pymodbus's serial server on one
// end of a socat pseudo-terminal pair, the real serial link on the other.
#include "ChildProcess.h"
#include "EngineStation.h"
#include "Functionsconvert.h"
#include "Functionsmodbus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <stdlib.h>

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto Patience = 60s;

// A pty pair from socat, its two ends as links in a private folder.
class TPtyPair {
  public:
    TPtyPair() {
        std::string pattern = std::filesystem::temp_directory_path() / "quorvel-peer-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        Folder = pattern;
        Socat = std::make_unique<TChildProcess>(std::vector<std::string>{
            SOCAT, "pty,raw,echo=0,link=" + Console(), "pty,raw,echo=0,link=" + Peer()});
        if (!Eventually(
                [this] {
                    return std::filesystem::exists(Console()) && std::filesystem::exists(Peer());
                },
                20s)) {
            throw std::runtime_error("socat gave no pty pair: " + Socat->Output());
        }
    }
    ~TPtyPair() {
        Socat.reset();
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    std::string Console() const { return Folder + "/console"; }
    std::string Peer() const { return Folder + "/peer"; }

  private:
    std::string Folder;
    std::unique_ptr<TChildProcess> Socat;
};

class EngineWithPymodbus : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(EngineWithPymodbus, ReadsAreShownWritesEchoedAndAMissingRegisterIsAnException) {
    const std::uint8_t mode = GetParam();
    TPtyPair pair;
    TChildProcess peer(
        {QUORVEL_PYTHON, PEER_SCRIPT, pair.Peer(), mode == ModeRTU ? "rtu" : "ascii", "1"});
    ASSERT_TRUE(peer.WaitForLine("ready", 30s)) << peer.Output();

    TMainLoop loop;
    TEngineStation station(loop);
    ASSERT_TRUE(station.Open(pair.Console(), mode, 38400, 1));
    station.StartPolling(50ms); // the console's default period
    ASSERT_TRUE(station.WaitFor(
        [](TPollEngine& e, FakeView&) { return e.ExchangeState.ReceivedCount >= 12; }, Patience));
    station.Run([](TPollEngine& e, FakeView&) { e.QueueWrite(0, 5000); }); // 50.00 Hz
    ASSERT_TRUE(station.WaitFor(
        [](TPollEngine& e, FakeView&) { return e.ExchangeState.ReceivedCount >= 40; }, Patience));
    station.StopPolling();
    ASSERT_TRUE(station.WaitFor(
        [](TPollEngine& e, FakeView&) { return e.PollPhase == ReadyToSend; }, Patience));

    station.Run([&](TPollEngine& e, FakeView& view) {
        const auto& x = e.ExchangeState;
        EXPECT_EQ(x.ReceivedCount, x.SentCount) << "every request answered";
        EXPECT_EQ(x.BadFrameCount, 0);
        const ByteString currentRead = BuildReadRequest(e.Settings, 0xF0A0);
        const auto currentReads =
            std::count(view.SentLines.begin(), view.SentLines.end(), FrameDump(currentRead));
        EXPECT_GT(currentReads, 0);
        EXPECT_EQ(x.ExceptionCount, currentReads) << "the register pymodbus does not hold";
        EXPECT_EQ(view.Value(ValueBox::Frequency), "50.00");
        EXPECT_EQ(view.VirtualInputTexts, (std::array<std::string, 6>{"X", "", "X", "", "X", ""}));
        EXPECT_EQ(view.ButtonSyncs, std::vector<std::uint8_t>{0x15});
        std::vector<std::string> reference;
        for (const auto& [box, text] : view.ValueHistory) {
            if (box == ValueBox::ControlRefSignal &&
                (reference.empty() || reference.back() != text)) {
                reference.push_back(text);
            }
        }
        EXPECT_EQ(reference, (std::vector<std::string>{"327.7", "50.00"}))
            << "the written reference is read back";
        const ByteString write = BuildWriteRequest(e.Settings, 0xF510, 5000);
        EXPECT_EQ(std::count(view.SentLines.begin(), view.SentLines.end(), FrameDump(write)), 1)
            << "the echo was accepted at once";
    });
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineWithPymodbus, ::testing::Values(ModeASCII, ModeRTU),
                         [](const auto& info) { return info.param == ModeRTU ? "Rtu" : "Ascii"; });

} // namespace
} // namespace quorvel::testing
