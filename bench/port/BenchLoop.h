// The main thread of a port benchmark: runs the worker's synchronous calls while it waits for
// something, as the window's event loop does. One instance, on the benchmark's main thread.
#pragma once

#include "Portthread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::bench {

using Clock = std::chrono::steady_clock;

class TBenchLoop {
  public:
    quorvel::TMainThreadCall Calls() {
        return {[this](const std::function<void()>& routine) { Call(routine); },
                [this] { RunQueued(); }};
    }

    void Call(const std::function<void()>& routine) {
        if (std::this_thread::get_id() == Main) {
            routine();
            return;
        }
        std::unique_lock<std::mutex> lock(Lock);
        bool done = false;
        Queue.push_back([&] {
            routine();
            std::lock_guard<std::mutex> inner(Lock);
            done = true;
        });
        Changed.notify_all();
        Changed.wait(lock, [&] { return done; });
    }

    void RunQueued() {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(Lock);
            batch.swap(Queue);
        }
        for (auto& routine : batch) {
            routine();
        }
        Changed.notify_all();
    }

    // Blocks until a call arrives, runs the queue, until done() or the deadline.
    bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
        while (!done()) {
            {
                std::unique_lock<std::mutex> lock(Lock);
                if (!Changed.wait_until(lock, deadline, [this] { return !Queue.empty(); })) {
                    return false;
                }
            }
            RunQueued();
        }
        return true;
    }

    // Runs calls for ms milliseconds, and tick every tickMs (the poll tick's part).
    void RunFor(int ms, int tickMs, const std::function<bool()>& tick) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        auto next = Clock::now();
        while (Clock::now() < end) {
            if (Clock::now() >= next) {
                if (tick()) {
                    return;
                }
                next += std::chrono::milliseconds(tickMs);
            }
            {
                std::unique_lock<std::mutex> lock(Lock);
                Changed.wait_for(lock, std::chrono::milliseconds(1),
                                 [this] { return !Queue.empty(); });
            }
            RunQueued();
        }
    }

  private:
    std::thread::id Main = std::this_thread::get_id();
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::function<void()>> Queue;
};

} // namespace quorvel::bench
