// Replug figures over pseudo-terminals registered under one virtual port name: the time from
// the device's return to the first good reply, the CPU the process uses while the device is
// gone; and what "Zár" costs: right after a frame (it waits for the frame's time on the line),
// and when the far end never reads (bounded by the last frame's time). Prints figures only.
// Usage: bench_replug [rounds] [gone-seconds]
#include "BenchLoop.h"
#include "Portthread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

using TLoop = quorvel::bench::TBenchLoop;

struct TFarEnd {
    int Master = -1;
    std::string Slave;
    std::atomic<bool> Echo{false};
    std::thread Thread;

    TFarEnd() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(Master);
        ::unlockpt(Master);
        Slave = ::ptsname(Master);
    }
    // Answers every byte it gets with the same byte: the "good reply".
    void StartEcho() {
        Echo = true;
        Thread = std::thread([this] {
            while (Echo) {
                pollfd entry{Master, POLLIN, 0};
                if (::poll(&entry, 1, 10) > 0 && (entry.revents & POLLIN) != 0) {
                    unsigned char buffer[256];
                    const ssize_t n = ::read(Master, buffer, sizeof buffer);
                    if (n > 0) {
                        [[maybe_unused]] const ssize_t w = ::write(Master, buffer, n);
                    }
                }
            }
        });
    }
    void Pull() {
        Echo = false;
        if (Thread.joinable()) {
            Thread.join();
        }
        if (Master >= 0) {
            ::close(Master);
            Master = -1;
        }
    }
    ~TFarEnd() { Pull(); }
};

void Register(const std::string& folder, const std::string& target) {
    const std::string temporary = folder + "/.SIM.tmp";
    fs::remove(temporary);
    fs::create_symlink(target, temporary);
    fs::rename(temporary, folder + "/SIM");
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int goneSeconds = argc > 2 ? std::atoi(argv[2]) : 3;
    char pattern[] = "/tmp/bench-replug-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);

    TLoop loop;
    quorvel::TSettings settings;
    settings.Port = "SIM";
    quorvel::TPortEnvironment environment;
    environment.Roots.PortFolder = folder;
    environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
    quorvel::TPortThread link(settings, loop.Calls(), environment);
    std::atomic<int> replies{0};
    link.OnReceive = [&](quorvel::ByteString chunk) { replies += static_cast<int>(chunk.size()); };
    const std::uint8_t request[] = {0x01};
    const auto tick = [&] {
        link.WriteFrame(request, 1);
        return replies > 0;
    };

    auto device = std::make_unique<TFarEnd>();
    device->StartEcho();
    Register(folder, device->Slave);
    if (!link.Configure(quorvel::ModeRTU, 19200)) {
        std::fprintf(stderr, "cannot open the first pty\n");
        return 1;
    }
    std::vector<double> returnMs;
    std::vector<double> goneCpu;
    for (int round = 0; round < rounds; ++round) {
        device->Pull();
        loop.RunFor(5000, 10, [&] { return link.IsLinkLost(); });
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        loop.RunFor(goneSeconds * 1000, 10, [&] { return tick() && false; });
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        goneCpu.push_back(100.0 * (CpuSeconds() - cpu0) / wall);

        device = std::make_unique<TFarEnd>();
        device->StartEcho();
        replies = 0;
        const auto back = Clock::now();
        Register(folder, device->Slave);
        loop.RunFor(10000, 10, tick);
        returnMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - back).count());
        std::fprintf(stderr, "replug %d: %.0f ms\n", round, returnMs.back());
    }
    std::printf("return to first good reply: median %.0f ms, max %.0f ms over %d replugs "
                "(poll tick 10 ms, reopen attempt every %d ms)\n",
                Median(returnMs), *std::max_element(returnMs.begin(), returnMs.end()), rounds,
                quorvel::TPortThread::ReopenIntervalMs);
    std::printf("CPU while the device is gone: median %.2f %%, max %.2f %% of one core "
                "(%d s windows, poll tick writing every 10 ms)\n",
                Median(goneCpu), *std::max_element(goneCpu.begin(), goneCpu.end()), goneSeconds);
    link.ClosePort();

    std::vector<double> closeMs;
    for (int round = 0; round < rounds; ++round) {
        TFarEnd deaf; // never reads
        Register(folder, deaf.Slave);
        link.Configure(quorvel::ModeRTU, 19200);
        const std::vector<std::uint8_t> frame(255, 0x55);
        int frames = 0;
        while (frames < 10000 && link.WriteFrame(frame.data(), 255)) {
            ++frames;
        }
        const auto start = Clock::now();
        link.ClosePort();
        closeMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("close with undrainable output: median %.2f ms, max %.2f ms over %d closes "
                "(255-byte frames at 19200 baud: bounded by one frame's line time, %.0f ms)\n",
                Median(closeMs), *std::max_element(closeMs.begin(), closeMs.end()), rounds,
                255 * 11 * 1000.0 / 19200);

    // "Zár" a tick after the request went out: the frame still has its line time to go.
    std::vector<double> frameCloseMs;
    for (int round = 0; round < rounds; ++round) {
        TFarEnd reader;
        reader.StartEcho();
        Register(folder, reader.Slave);
        link.Configure(quorvel::ModeASCII, 9600);
        const std::string frame = ":0103F0A000016B\r\n";
        link.WriteFrame(reinterpret_cast<const std::uint8_t*>(frame.data()),
                        static_cast<std::uint16_t>(frame.size()));
        const auto start = Clock::now();
        link.ClosePort();
        frameCloseMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::printf("close right after a 17-character ASCII frame at 9600 baud: median %.2f ms, "
                "max %.2f ms over %d closes (its line time: %.1f ms)\n",
                Median(frameCloseMs), *std::max_element(frameCloseMs.begin(), frameCloseMs.end()),
                rounds, 17 * 11 * 1000.0 / 9600);
    fs::remove_all(folder);
    return 0;
}
