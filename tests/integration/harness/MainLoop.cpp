#include "MainLoop.h"

#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace quorvel::testing {

TMainLoop::TMainLoop() {
    TimerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    WakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (TimerFd < 0 || WakeFd < 0) {
        throw std::runtime_error("timerfd/eventfd unavailable");
    }
    Thread = std::thread(&TMainLoop::Run, this);
    Invoke([this] { LoopId = std::this_thread::get_id(); });
}

TMainLoop::~TMainLoop() {
    Invoke([this] {
        ArmTimer(std::chrono::nanoseconds(0));
        Tick = nullptr;
    });
    {
        std::lock_guard<std::mutex> guard(Lock);
        Quit = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(WakeFd, &one, sizeof one);
    Thread.join();
    ::close(TimerFd);
    ::close(WakeFd);
}

void TMainLoop::Invoke(const std::function<void()>& routine) {
    if (std::this_thread::get_id() == LoopId) {
        routine();
        return;
    }
    Job job{&routine};
    std::unique_lock<std::mutex> lock(Lock);
    Jobs.push_back(&job);
    const std::uint64_t one = 1;
    (void)!::write(WakeFd, &one, sizeof one);
    Finished.wait(lock, [&job] { return job.done; });
}

TMainThreadCall TMainLoop::MainThreadCall() {
    TMainThreadCall call;
    call.Call = [this](const std::function<void()>& routine) { Invoke(routine); };
    call.ProcessPending = [this] { RunPendingJobs(); };
    return call;
}

void TMainLoop::StartTicks(std::chrono::nanoseconds period, std::function<void()> tick) {
    Invoke([&] {
        Tick = std::move(tick);
        Figures = {};
        ArmTimer(period);
    });
}

void TMainLoop::StopTicks() {
    Invoke([this] {
        ArmTimer(std::chrono::nanoseconds(0));
        Tick = nullptr;
    });
}

TMainLoop::TickFigures TMainLoop::Ticks() {
    TickFigures copy;
    Invoke([&] { copy = Figures; });
    return copy;
}

void TMainLoop::ArmTimer(std::chrono::nanoseconds period) {
    itimerspec timing{};
    timing.it_interval.tv_sec = static_cast<time_t>(period.count() / 1'000'000'000);
    timing.it_interval.tv_nsec = static_cast<long>(period.count() % 1'000'000'000);
    timing.it_value = timing.it_interval;
    ::timerfd_settime(TimerFd, 0, &timing, nullptr);
    std::uint64_t stale = 0;
    (void)!::read(TimerFd, &stale, sizeof stale); // nothing due from an earlier setting
}

void TMainLoop::RunPendingJobs() {
    for (;;) {
        Job* job = nullptr;
        {
            std::lock_guard<std::mutex> guard(Lock);
            if (Jobs.empty()) {
                return;
            }
            job = Jobs.front();
            Jobs.pop_front();
        }
        (*job->routine)();
        std::lock_guard<std::mutex> guard(Lock);
        job->done = true;
        Finished.notify_all();
    }
}

void TMainLoop::Run() {
    pollfd fds[2] = {{WakeFd, POLLIN, 0}, {TimerFd, POLLIN, 0}};
    for (;;) {
        ::poll(fds, 2, -1);
        std::uint64_t count = 0;
        (void)!::read(WakeFd, &count, sizeof count);
        RunPendingJobs();
        if (::read(TimerFd, &count, sizeof count) > 0 && Tick) {
            Figures.expirations += count;
            ++Figures.ticksRun;
            Tick();
        }
        std::lock_guard<std::mutex> guard(Lock);
        if (Quit && Jobs.empty()) {
            return;
        }
    }
}

} // namespace quorvel::testing
