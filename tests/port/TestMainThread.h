// A stand-in for the GUI's main thread in tests: the thread that constructs it is the main thread;
// calls from other threads queue up and block until the test drains them.
#pragma once

#include "Portthread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvel::test {

class TTestMainThread {
  public:
    TTestMainThread() : Id(std::this_thread::get_id()) {}

    TMainThreadCall Calls();
    void Call(const std::function<void()>& routine);
    // Runs every call queued now.
    void ProcessPending();
    // Runs queued calls until done() holds or the timeout passes; returns done().
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits, without running anything, until a call is queued.
    bool WaitForQueuedCall(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    struct TTask {
        std::function<void()> Routine;
        bool Done = false;
        std::exception_ptr Error;
    };

    std::thread::id Id;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<TTask>> Queue;
};

} // namespace quorvel::test
