// The tests' stand-in for the GUI's synchronous call onto the main thread: the thread that
// creates the pump is the main thread and runs the routines other threads post while it pumps.
// Call may be used from any thread; PumpUntil and ProcessPending only from the main thread.
#pragma once

#include "Portthread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::win32test {

class TMainThreadPump {
  public:
    TMainThreadPump() : MainId(std::this_thread::get_id()) {}

    // The call pair to hand to TPortThread.
    TMainThreadCall Calls();

    // Runs posted routines until done() holds or limit has passed; true when done() held.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    void ProcessPending();

    std::thread::id MainThreadId() const { return MainId; }

  private:
    struct TPosted {
        const std::function<void()>* Routine = nullptr;
        bool Done = false;
    };

    void Call(const std::function<void()>& routine);

    const std::thread::id MainId;
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<TPosted*> Queue;
};

} // namespace quorvel::win32test
