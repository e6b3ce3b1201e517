#include "SimProcess.h"

#include "FaultInjector.h"
#include "FrameCodec.h"
#include "SimTestFrames.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvel::sim {
namespace {

using namespace testframes;
using testing::PortClient;
using testing::SimProcess;

std::vector<std::string> Args(std::vector<std::string> args) {
    return args;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A dropped reply gives the client nothing to wait for: the status file tells when the
// simulator has seen the request.
bool WaitForRequests(const std::string& status, std::uint64_t count) {
    const auto deadline = std::chrono::steady_clock::now() + testing::IoTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto numbers = testing::ParseFlatNumbers(ReadFile(status));
        if (numbers.count("requests") != 0 && numbers.at("requests") >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
    return false;
}

TEST(SimProcess, AnnouncesPtyAndPortThenCleansUpOnSigint) {
    SimProcess sim(Args({"--name", "ANNOUNCE"}));
    ASSERT_TRUE(sim.Started());
    const auto lines = sim.OutputLines();
    ASSERT_GE(lines.size(), 2u);
    ASSERT_EQ(lines[0].rfind("pty /dev/", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "port ANNOUNCE");
    EXPECT_EQ(std::filesystem::read_symlink(sim.LinkPath()).string(), lines[0].substr(4));
    EXPECT_EQ(sim.Stop(SIGINT), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(sim.LinkPath()));
    EXPECT_EQ(sim.Summary().at("requests"), 0u);
}

TEST(SimProcess, EndsByItselfAfterTheDuration) {
    SimProcess sim(Args({"--duration", "0.3"}));
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(sim.LinkPath()));
    EXPECT_FALSE(sim.Summary().empty());
}

TEST(SimProcess, RefusesABadCommandLine) {
    SimProcess sim(Args({"--address", "300"}));
    EXPECT_FALSE(sim.Started());
}

TEST(SimProcess, KeepsServingWhileClientsComeAndGo) {
    SimProcess sim(Args({"--frozen", "--reference", "50", "--inputs", "1"}));
    ASSERT_TRUE(sim.Started());
    const ByteString reply = Ascii(":01030213885F"); // 50 Hz = word 0x1388
    for (int client = 0; client < 3; ++client) {
        PortClient port(sim.LinkPath());
        ASSERT_TRUE(port.IsOpen());
        ASSERT_TRUE(port.Send(AsciiReadFrequency));
        EXPECT_EQ(port.ReceiveLine(), reply) << "client " << client;
    }
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_EQ(sim.Summary().at("replies_good"), 3u);
}

TEST(SimProcess, PacedSplitDelayedRepliesArriveIntact) {
    SimProcess sim(Args({"--frozen", "--reference", "50", "--inputs", "1", "--baud", "19200",
                         "--split", "3", "--turnaround-ms", "5"}));
    ASSERT_TRUE(sim.Started());
    PortClient port(sim.LinkPath());
    ASSERT_TRUE(port.Send(RtuReadFrequency));
    EXPECT_EQ(port.Receive(7), (ByteString{0x01, 0x03, 0x02, 0x13, 0x88, 0xB5, 0x12}));
    ASSERT_TRUE(port.Send(AsciiWriteReference));
    EXPECT_EQ(port.ReceiveLine(), AsciiWriteReference);
}

// A drive slow to store a value: reads come back at once, a write's echo only after its turnaround.
TEST(SimProcess, WriteEchoesTakeTheWriteTurnaround) {
    SimProcess sim(Args({"--frozen", "--write-turnaround-ms", "300"}));
    ASSERT_TRUE(sim.Started());
    PortClient port(sim.LinkPath());
    using Clock = std::chrono::steady_clock;
    const auto elapsedMs = [](Clock::time_point since) {
        return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
    };
    for (int round = 0; round < 2; ++round) {
        auto start = Clock::now();
        ASSERT_TRUE(port.Send(RtuWriteReference));
        ASSERT_EQ(port.Receive(RtuWriteReference.size()), RtuWriteReference);
        EXPECT_GE(elapsedMs(start), 300.0) << "write " << round;
        start = Clock::now();
        ASSERT_TRUE(port.Send(RtuReadFrequency));
        EXPECT_EQ(port.Receive(7).size(), 7u);
        EXPECT_LT(elapsedMs(start), 300.0) << "read " << round;
    }
}

TEST(SimProcess, StatusFileFollowsTheRegisters) {
    const std::string status = std::filesystem::temp_directory_path() /
                               ("kelmar-sim-status-" + std::to_string(::getpid()));
    SimProcess sim(Args({"--frozen", "--inputs", "0x3", "--status-file", status}));
    ASSERT_TRUE(sim.Started());
    // Written once at the start, before any request.
    auto numbers = testing::ParseFlatNumbers(ReadFile(status));
    EXPECT_EQ(numbers.at("F508"), 3u);
    EXPECT_EQ(numbers.at("F510"), 0u);
    PortClient port(sim.LinkPath());
    ASSERT_TRUE(port.Send(RtuWriteReference));
    ASSERT_EQ(port.Receive(RtuWriteReference.size()), RtuWriteReference);
    ASSERT_TRUE(WaitForRequests(status, 1));
    numbers = testing::ParseFlatNumbers(ReadFile(status));
    EXPECT_EQ(numbers.at("F510"), 0x1388u);
    EXPECT_EQ(numbers.at("F098"), 0x1388u); // frozen and input 1 on: at the reference at once
    EXPECT_EQ(numbers.at("requests"), 1u);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    std::filesystem::remove(status);
}

// A status write that stalls (a rename waiting for a busy disk's journal; here the temporary file
// is a FIFO nobody reads yet) holds up no reply: a drive that answers late is a fault the tests
// inject on purpose, never one the simulator makes by itself.
TEST(SimProcess, AStalledStatusWriteHoldsUpNoReply) {
    const std::string status =
        std::filesystem::temp_directory_path() / ("kelmar-sim-stall-" + std::to_string(::getpid()));
    SimProcess sim(Args({"--frozen", "--status-file", status}));
    ASSERT_TRUE(sim.Started());
    const std::string temporary = status + ".tmp" + std::to_string(sim.Pid());
    ASSERT_EQ(::mkfifo(temporary.c_str(), 0600), 0);
    PortClient port(sim.LinkPath());
    constexpr int Requests = 3;
    for (int request = 0; request < Requests; ++request) {
        ASSERT_TRUE(port.Send(RtuReadFrequency));
        EXPECT_EQ(port.Receive(7, std::chrono::seconds{3}).size(), 7u) << "request " << request;
    }
    // Ends the stall: the write blocked in opening the FIFO goes on once a reader opens it.
    const int reader = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::string throughFifo;
    char buffer[512];
    for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) > 0;) {
        throughFifo.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(reader);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    // The file ends with the last state, whatever writes the stall made it skip. When the stalled
    // write was the last, the FIFO itself was renamed into place, and what it carried is the file.
    const std::string last = std::filesystem::is_fifo(status) ? throughFifo : ReadFile(status);
    EXPECT_EQ(testing::ParseFlatNumbers(last).at("requests"), static_cast<std::uint64_t>(Requests));
    std::filesystem::remove(status);
    std::filesystem::remove(temporary);
}

// The injector is seeded, so the test can foresee every fault the simulator applies and check
// each reply and the final summary exactly.
TEST(SimProcess, InjectedFaultsMatchTheSeededPlanAndTheSummary) {
    const FaultRates rates{0.2, 0.2, 0.3, 0.2};
    const std::uint64_t seed = 2024;
    const std::string status = std::filesystem::temp_directory_path() /
                               ("kelmar-sim-faults-" + std::to_string(::getpid()));
    SimProcess sim(
        Args({"--status-file", status, "--mode", "rtu", "--frozen", "--reference", "50", "--inputs",
              "1", "--drop-rate", "0.2", "--corrupt-rate", "0.2", "--garbage-rate", "0.3",
              "--exception-rate", "0.2", "--seed", std::to_string(seed)}));
    ASSERT_TRUE(sim.Started());
    PortClient port(sim.LinkPath());
    FaultInjector foresight(rates, seed);
    std::map<std::string, std::uint64_t> expected{
        {"requests", 0},           {"replies_good", 0},    {"replies_exception", 0},
        {"replies_corrupted", 0},  {"replies_dropped", 0}, {"garbage_bursts", 0},
        {"exceptions_injected", 0}};
    for (int i = 0; i < 60; ++i) {
        const FaultPlan plan = foresight.Next(LineMode::Rtu, 1);
        ASSERT_TRUE(port.Send(RtuReadFrequency));
        ++expected["requests"];
        expected["exceptions_injected"] += plan.exception ? 1 : 0;
        if (plan.drop) {
            ++expected["replies_dropped"];
            continue;
        }
        const std::size_t frameSize = plan.exception ? 5 : 7;
        const ByteString got = port.Receive(plan.garbage.size() + frameSize);
        ASSERT_EQ(got.size(), plan.garbage.size() + frameSize) << "reply " << i;
        EXPECT_TRUE(std::equal(plan.garbage.begin(), plan.garbage.end(), got.begin()));
        expected["garbage_bursts"] += plan.garbage.empty() ? 0 : 1;
        const ByteView frame(got.data() + plan.garbage.size(), frameSize);
        const auto reply = DecodeFrame(LineMode::Rtu, frame);
        if (plan.corrupt) {
            EXPECT_FALSE(reply.has_value()) << "reply " << i;
            ++expected["replies_corrupted"];
            continue;
        }
        ASSERT_TRUE(reply.has_value()) << "reply " << i;
        if (plan.exception) {
            EXPECT_EQ(reply->function, 0x83);
            EXPECT_EQ(reply->data, ByteString{0x04});
            ++expected["replies_exception"];
        } else {
            EXPECT_EQ(reply->data, (ByteString{0x02, 0x13, 0x88}));
            ++expected["replies_good"];
        }
    }
    ASSERT_TRUE(WaitForRequests(status, expected["requests"]));
    ASSERT_EQ(sim.Stop(SIGTERM), 0);
    std::filesystem::remove(status);
    const auto summary = sim.Summary();
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(summary.at(key), value) << key;
    }
    EXPECT_EQ(summary.at("seed"), seed);
    EXPECT_GT(expected["replies_dropped"] * expected["replies_corrupted"] *
                  expected["replies_exception"] * expected["garbage_bursts"],
              0u)
        << "the seed should exercise every fault";
}

} // namespace
} // namespace quorvel::sim
