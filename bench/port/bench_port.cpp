// Serial link figures over a pseudo-terminal: how long a chunk written by the far end takes to
// reach OnReceive on the main thread, and how much CPU the process uses while the open port is
// silent. Prints figures only. Usage: bench_port [samples] [silent-seconds]
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
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using TLoop = quorvel::bench::TBenchLoop;

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

int OpenMaster(std::string& slavePath) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    char name[128] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        return -1;
    }
    slavePath = name;
    return master;
}

// The floor this machine sets: the same writes read by a bare thread blocked in poll() on the
// slave, which wakes the measuring thread, with no link in between.
std::vector<double> BaselineMs(int samples) {
    std::string slavePath;
    const int master = OpenMaster(slavePath);
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    std::vector<double> latencyMs;
    std::atomic<long long> arrivedNs{0};
    std::atomic<bool> running{true};
    std::mutex guard;
    std::condition_variable arrivedSignal;
    std::thread reader([&] {
        std::uint8_t buffer[64];
        pollfd entry{slave, POLLIN, 0};
        while (running && ::poll(&entry, 1, 100) >= 0) {
            if ((entry.revents & POLLIN) != 0 && ::read(slave, buffer, sizeof buffer) > 0) {
                std::lock_guard<std::mutex> lock(guard);
                arrivedNs = Clock::now().time_since_epoch().count();
                arrivedSignal.notify_all();
            }
        }
    });
    const std::uint8_t reply[7] = {};
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 37) % 1500));
        arrivedNs = 0;
        const Clock::time_point sent = Clock::now();
        if (::write(master, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) {
            break;
        }
        {
            std::unique_lock<std::mutex> lock(guard);
            arrivedSignal.wait(lock, [&] { return arrivedNs != 0; });
        }
        const Clock::time_point arrived{Clock::duration(arrivedNs.load())};
        latencyMs.push_back(std::chrono::duration<double, std::milli>(arrived - sent).count());
    }
    running = false;
    reader.join();
    ::close(slave);
    ::close(master);
    return latencyMs;
}

// Passes everything to the real device and notes when the worker's read returned, to split the
// latency into the wake-up on the port and the hand-over to the main thread.
class TTimedDevice : public quorvel::ISerialDevice {
  public:
    TTimedDevice(std::unique_ptr<quorvel::ISerialDevice> real, std::atomic<long long>& readAt)
        : Real(std::move(real)), ReadAt(readAt) {}
    bool GetState(quorvel::TCommState& s) override { return Real->GetState(s); }
    bool SetState(const quorvel::TCommState& s) override { return Real->SetState(s); }
    bool GetTimeouts(quorvel::TCommTimeouts& t) override { return Real->GetTimeouts(t); }
    bool SetTimeouts(const quorvel::TCommTimeouts& t) override { return Real->SetTimeouts(t); }
    bool SetupQueues(std::uint32_t in, std::uint32_t out) override {
        return Real->SetupQueues(in, out);
    }
    bool BytesWaiting(std::uint32_t& count) override { return Real->BytesWaiting(count); }
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override {
        const bool ok = Real->Read(buffer, size, got);
        ReadAt = Clock::now().time_since_epoch().count();
        return ok;
    }
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
        return Real->Write(bytes, count);
    }
    bool Close() override { return Real->Close(); }
    quorvel::TWaitResult Wait(quorvel::TWakeEvent& wake) override { return Real->Wait(wake); }

  private:
    std::unique_ptr<quorvel::ISerialDevice> Real;
    std::atomic<long long>& ReadAt;
};

} // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int silentSeconds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::string slave;
    const int master = OpenMaster(slave);
    if (master < 0 || samples <= 0) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    TLoop loop;
    quorvel::TSettings settings;
    settings.Port = slave;
    std::atomic<long long> readAt{0};
    quorvel::TPortEnvironment environment;
    environment.OpenComPort =
        [&](const std::string& name) -> std::unique_ptr<quorvel::ISerialDevice> {
        auto real = quorvel::OpenSerialDevice(name, {});
        if (!real) {
            return nullptr;
        }
        return std::make_unique<TTimedDevice>(std::move(real), readAt);
    };
    quorvel::TPortThread port(settings, loop.Calls(), environment);
    Clock::time_point arrived;
    std::size_t received = 0;
    port.OnReceive = [&](quorvel::ByteString chunk) {
        arrived = Clock::now();
        received += chunk.size();
    };
    if (!port.Configure(quorvel::ModeRTU, 19200)) {
        std::fprintf(stderr, "cannot open %s\n", slave.c_str());
        return 1;
    }

    // A Modbus RTU reply of 7 bytes per sample, written in one piece by the far end.
    const std::uint8_t reply[] = {0x01, 0x03, 0x02, 0x00, 0x7B, 0xF8, 0x67};
    std::vector<double> latencyMs;
    std::vector<double> readMs;
    std::vector<double> handOverMs;
    latencyMs.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 37) % 1500));
        const std::size_t target = received + sizeof reply;
        const Clock::time_point sent = Clock::now();
        if (::write(master, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply) ||
            !loop.RunUntil([&] { return received >= target; }, sent + std::chrono::seconds(5))) {
            std::fprintf(stderr, "reply %d not delivered\n", i);
            return 1;
        }
        latencyMs.push_back(std::chrono::duration<double, std::milli>(arrived - sent).count());
        const Clock::time_point read{Clock::duration(readAt.load())};
        readMs.push_back(std::chrono::duration<double, std::milli>(read - sent).count());
        handOverMs.push_back(std::chrono::duration<double, std::milli>(arrived - read).count());
    }

    const double cpuBefore = CpuSeconds();
    const Clock::time_point quietFrom = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(silentSeconds));
    const double wall = std::chrono::duration<double>(Clock::now() - quietFrom).count();
    const double cpuPercent = 100.0 * (CpuSeconds() - cpuBefore) / wall;

    std::printf("chunk-to-OnReceive latency over %d samples (pty, 7-byte chunks):\n", samples);
    std::printf("  p50 %.3f ms   p99 %.3f ms   max %.3f ms\n", Percentile(latencyMs, 0.50),
                Percentile(latencyMs, 0.99), Percentile(latencyMs, 1.0));
    std::printf("  of which write-to-worker-read: p50 %.3f ms   p99 %.3f ms\n",
                Percentile(readMs, 0.50), Percentile(readMs, 0.99));
    std::printf("  of which read-to-OnReceive:    p50 %.3f ms   p99 %.3f ms\n",
                Percentile(handOverMs, 0.50), Percentile(handOverMs, 0.99));
    const std::vector<double> baseline = BaselineMs(samples);
    if (!baseline.empty()) {
        std::printf("  baseline, bare thread polling the pty: p50 %.3f ms   p99 %.3f ms\n",
                    Percentile(baseline, 0.50), Percentile(baseline, 0.99));
    }
    std::printf("CPU while open and silent for %.1f s: %.3f %% of one core\n", wall, cpuPercent);

    // The far end goes away (as an unplugged adapter does) while the link stays open.
    ::close(master);
    const double cpuGone = CpuSeconds();
    const Clock::time_point goneFrom = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(std::max(1, silentSeconds / 2)));
    const double goneWall = std::chrono::duration<double>(Clock::now() - goneFrom).count();
    std::printf("CPU while open on a vanished port for %.1f s: %.3f %% of one core\n", goneWall,
                100.0 * (CpuSeconds() - cpuGone) / goneWall);
    port.ClosePort();
    return 0;
}
