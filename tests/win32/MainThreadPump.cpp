#include "MainThreadPump.h"

namespace quorvel::win32test {

TMainThreadCall TMainThreadPump::Calls() {
    return TMainThreadCall{[this](const std::function<void()>& routine) { Call(routine); },
                           [this] { ProcessPending(); }};
}

// Blocks the posting thread until the main thread has run the routine, as the GUI's call does.
void TMainThreadPump::Call(const std::function<void()>& routine) {
    if (std::this_thread::get_id() == MainId) {
        routine();
        return;
    }
    TPosted posted{&routine, false};
    std::unique_lock<std::mutex> lock(Lock);
    Queue.push_back(&posted);
    Changed.notify_all();
    Changed.wait(lock, [&] { return posted.Done; });
}

void TMainThreadPump::ProcessPending() {
    std::unique_lock<std::mutex> lock(Lock);
    while (!Queue.empty()) {
        TPosted* posted = Queue.front();
        Queue.pop_front();
        lock.unlock();
        try {
            (*posted->Routine)();
        } catch (...) {
            // The routine's own error handling is under test, not the pump's.
        }
        lock.lock();
        posted->Done = true;
        Changed.notify_all();
    }
}

bool TMainThreadPump::PumpUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        ProcessPending();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::unique_lock<std::mutex> lock(Lock);
        Changed.wait_for(lock, std::chrono::milliseconds(5), [this] { return !Queue.empty(); });
    }
}

} // namespace quorvel::win32test
