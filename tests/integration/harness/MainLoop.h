// A stand-in for the console's GUI thread: one thread that runs the poll tick from a periodic
// timerfd and the port worker's synchronous calls, never two at once. Linux only.
// Other threads hand it work through Invoke (blocking); the loop owns everything it runs.
#pragma once

#include "Portthread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::testing {

class TMainLoop {
  public:
    TMainLoop();
    ~TMainLoop(); // stops the ticks and the loop; pending calls are run first
    TMainLoop(const TMainLoop&) = delete;
    TMainLoop& operator=(const TMainLoop&) = delete;

    // Runs routine on the loop and returns after it has; directly when already on the loop.
    void Invoke(const std::function<void()>& routine);
    // The synchronous main-thread call for TPortThread.
    TMainThreadCall MainThreadCall();

    // Starts (or restarts) calling tick every period on the loop; a tick that falls due while
    // the loop is busy is not repeated later, as with a GUI timer.
    void StartTicks(std::chrono::nanoseconds period, std::function<void()> tick);
    void StopTicks();

    struct TickFigures {
        std::uint64_t ticksRun = 0;    // ticks delivered to the routine
        std::uint64_t expirations = 0; // periods that elapsed while ticking
    };
    TickFigures Ticks(); // a snapshot, taken on the loop

    bool OnLoopThread() const { return std::this_thread::get_id() == LoopId; }

  private:
    struct Job {
        const std::function<void()>* routine;
        bool done = false;
    };

    void Run();
    void RunPendingJobs();
    void ArmTimer(std::chrono::nanoseconds period);

    int TimerFd = -1;
    int WakeFd = -1;
    std::mutex Lock;
    std::condition_variable Finished;
    std::deque<Job*> Jobs;
    bool Quit = false;
    std::function<void()> Tick; // loop thread only
    TickFigures Figures;        // loop thread only
    std::thread Thread;
    std::thread::id LoopId;
};

} // namespace quorvel::testing
