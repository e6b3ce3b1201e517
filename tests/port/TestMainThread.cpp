#include "TestMainThread.h"

namespace quorvel::test {

TMainThreadCall TTestMainThread::Calls() {
    return {[this](const std::function<void()>& routine) { Call(routine); },
            [this] { ProcessPending(); }};
}

void TTestMainThread::Call(const std::function<void()>& routine) {
    if (std::this_thread::get_id() == Id) {
        routine();
        return;
    }
    auto task = std::make_shared<TTask>();
    task->Routine = routine;
    std::unique_lock<std::mutex> lock(Lock);
    Queue.push_back(task);
    Changed.notify_all();
    Changed.wait(lock, [&] { return task->Done; });
    if (task->Error) {
        std::rethrow_exception(task->Error);
    }
}

void TTestMainThread::ProcessPending() {
    std::deque<std::shared_ptr<TTask>> batch;
    {
        std::lock_guard<std::mutex> lock(Lock);
        batch.swap(Queue);
    }
    for (auto& task : batch) {
        try {
            task->Routine();
        } catch (...) {
            task->Error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(Lock);
        task->Done = true;
        Changed.notify_all();
    }
}

bool TTestMainThread::RunUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        {
            std::unique_lock<std::mutex> lock(Lock);
            Changed.wait_for(lock, std::chrono::milliseconds(5), [this] { return !Queue.empty(); });
        }
        ProcessPending();
    }
    return true;
}

bool TTestMainThread::WaitForQueuedCall(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(Lock);
    return Changed.wait_for(lock, timeout, [this] { return !Queue.empty(); });
}

} // namespace quorvel::test
