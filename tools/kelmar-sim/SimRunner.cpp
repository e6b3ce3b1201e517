#include "SimRunner.h"

#include "FrameAssembler.h"
#include "PortFolder.h"
#include "PortRegistration.h"
#include "PtyPort.h"
#include "SimSession.h"
#include "StatusWriter.h"

#include "Functionsconvert.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace quorvel::sim {

namespace {

using namespace std::chrono_literals;

// Longest a reply may wait for room in the pty before the rest of it is given up.
constexpr auto WriteStallLimit = 1000ms;
// Modbus ASCII allows up to a second between the characters of one frame.
constexpr auto AsciiGap = 1000ms;
constexpr auto MinimumRtuGap = 10ms;

class Diagnostics {
  public:
    explicit Diagnostics(bool enabled) : enabled_(enabled) {}
    void Line(const std::string& text) const {
        if (enabled_) {
            std::fprintf(stderr, "kelmar-sim: %s\n", text.c_str());
        }
    }
    void Frame(const std::string& direction, ByteView bytes, std::string_view note) const {
        if (!enabled_) {
            return;
        }
        std::string text = direction;
        for (const std::uint8_t byte : bytes) {
            text += ' ' + ByteToHex(byte);
        }
        text += " (";
        text += note;
        text += ')';
        Line(text);
    }

  private:
    bool enabled_;
};

std::uint64_t ChooseSeed(const SimOptions& options) {
    if (options.seed) {
        return *options.seed;
    }
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
}

SteadyClock::duration RtuGap(const SimOptions& options) {
    if (options.gapMs) {
        return std::chrono::milliseconds{*options.gapMs};
    }
    const auto threeAndHalf = CharacterTime(options.pacing.baud) * 7 / 2;
    return std::max<SteadyClock::duration>(threeAndHalf, MinimumRtuGap);
}

const char* ModeName(LineMode mode) {
    return mode == LineMode::Ascii ? "ascii" : "rtu";
}

// Signals end the run through a descriptor so that poll() sees them like any input.
int BlockTerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal);
    }
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
        return -1;
    }
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

class Runner {
  public:
    Runner(const SimOptions& options, int masterFd, std::uint64_t seed)
        : options_(options), master_(masterFd), log_(options.verbose),
          assembler_(options.mode, RtuGap(options), AsciiGap),
          session_(options.address, DriveModel(options.drive), FaultInjector(options.faults, seed)),
          start_(SteadyClock::now()) {
        if (!options.statusFile.empty()) {
            status_.emplace([this](const std::string& text) {
                if (!WriteFileAtomically(options_.statusFile, text)) {
                    log_.Line("cannot write " + options_.statusFile);
                }
            });
        }
    }

    void Run(int signalFd) {
        const auto end = EndTime();
        while (true) {
            const auto now = SteadyClock::now();
            if (end && now >= *end) {
                log_.Line("duration elapsed");
                return;
            }
            std::array<pollfd, 2> fds{{{master_, POLLIN, 0}, {signalFd, POLLIN, 0}}};
            if (::poll(fds.data(), fds.size(), TimeoutMs(now, end)) < 0 && errno != EINTR) {
                log_.Line("poll failed");
                return;
            }
            if (fds[1].revents & POLLIN) {
                signalfd_siginfo info{};
                [[maybe_unused]] const auto n = ::read(signalFd, &info, sizeof info);
                log_.Line("signal " + std::to_string(info.ssi_signo));
                return;
            }
            if (fds[0].revents & POLLIN) {
                Receive();
            } else if (fds[0].revents & (POLLHUP | POLLERR)) {
                std::this_thread::sleep_for(10ms); // never expected: the slave side stays open
            }
            HandleAll(assembler_.Expire(SteadyClock::now()));
        }
    }

    // Hands the current state to the status writer; the file follows shortly.
    void WriteStatus() {
        if (!status_) {
            return;
        }
        session_.SetDiscardedBytes(assembler_.DiscardedBytes());
        status_->Submit(StatusJson(session_.Registers(), session_.Counters()));
    }

    void FlushStatus() {
        if (status_) {
            status_->Flush();
        }
    }

    SimCounters Counters() {
        session_.SetDiscardedBytes(assembler_.DiscardedBytes());
        return session_.Counters();
    }

  private:
    std::optional<SteadyClock::time_point> EndTime() const {
        if (options_.durationSeconds <= 0) {
            return std::nullopt;
        }
        const std::chrono::duration<double> duration(options_.durationSeconds);
        return start_ + std::chrono::duration_cast<SteadyClock::duration>(duration);
    }

    int TimeoutMs(SteadyClock::time_point now, std::optional<SteadyClock::time_point> end) const {
        std::optional<SteadyClock::time_point> wake = assembler_.Deadline();
        if (end && (!wake || *end < *wake)) {
            wake = end;
        }
        if (!wake) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    }

    void Receive() {
        std::array<std::uint8_t, 4096> buffer{};
        while (true) {
            const ssize_t n = ::read(master_, buffer.data(), buffer.size());
            if (n <= 0) {
                return;
            }
            const ByteView chunk(buffer.data(), static_cast<std::size_t>(n));
            HandleAll(assembler_.Feed(chunk, SteadyClock::now()));
        }
    }

    void HandleAll(const std::vector<AssembledFrame>& frames) {
        for (const AssembledFrame& frame : frames) {
            const double elapsed =
                std::chrono::duration<double>(SteadyClock::now() - start_).count();
            const HandledFrame handled = session_.Handle(frame, elapsed);
            log_.Frame(std::string("rx ") + ModeName(frame.mode), frame.bytes, handled.verdict);
            // The reply goes first, and the status file is written off this thread: a rename
            // can stall on a busy disk for more than a second, and neither this answer nor the
            // next request's may wait for it. Readers of the status poll for the count they expect.
            if (handled.reply) {
                Send(frame.mode, *handled.reply, Turnaround(handled));
            }
            WriteStatus();
        }
    }

    // A drive may take longer to store a written value than to read one.
    std::chrono::milliseconds Turnaround(const HandledFrame& handled) const {
        if (handled.writeEcho && options_.writeTurnaroundMs) {
            return std::chrono::milliseconds{*options_.writeTurnaroundMs};
        }
        return std::chrono::milliseconds{options_.turnaroundMs};
    }

    void Send(LineMode mode, const ByteString& reply, std::chrono::milliseconds turnaround) {
        std::this_thread::sleep_for(turnaround);
        const bool sent = WritePlanned(
            master_, reply, PlanReplyWrites(reply.size(), options_.pacing), WriteStallLimit);
        log_.Frame(std::string("tx ") + ModeName(mode), reply, sent ? "sent" : "write failed");
    }

    const SimOptions& options_;
    int master_;
    Diagnostics log_;
    FrameAssembler assembler_;
    SimSession session_;
    SteadyClock::time_point start_;
    std::optional<StatusWriter> status_; // last: its writer uses options_ and log_
};

void PrintLine(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

int RunSimulator(const SimOptions& options) {
    const int signalFd = BlockTerminationSignals();
    if (signalFd < 0) {
        std::perror("kelmar-sim: signalfd");
        return 1;
    }
    PtyPort pty;
    if (!pty.Open()) {
        std::fprintf(stderr, "kelmar-sim: %s\n", pty.Error().c_str());
        return 1;
    }
    PortRegistration registration;
    if (!registration.Register(VirtualPortFolder(), options.name, pty.SlavePath())) {
        std::fprintf(stderr, "kelmar-sim: %s\n", registration.Error().c_str());
        return 1;
    }
    const std::uint64_t seed = ChooseSeed(options);
    Runner runner(options, pty.MasterFd(), seed);
    // The status file exists before the port is announced, so readers never miss it.
    runner.WriteStatus();
    runner.FlushStatus();
    PrintLine("pty " + pty.SlavePath());
    PrintLine("port " + options.name);
    runner.Run(signalFd);
    runner.FlushStatus(); // the file holds the final counts before the summary says they are
    registration.Remove();
    PrintLine("summary " + SummaryJson(runner.Counters(), seed));
    ::close(signalFd);
    return 0;
}

} // namespace quorvel::sim
