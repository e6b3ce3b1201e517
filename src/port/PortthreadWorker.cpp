// Worker side of TPortThread: waits on the open port, reads what arrived and hands each chunk to
// the main thread; while the device of an open link is gone, looks for it and opens it, off the
// main thread, and hands it over. Lock guards the device during a read pass; it is never held
// while the main thread is called, so OnReceive may write, close or reopen.
#include "Portthread.h"

#include "ThreadPriority.h"

#include <algorithm>
#include <chrono>

namespace quorvel {

namespace {

// After this many readable wake-ups in a row that brought nothing, the worker paces itself.
constexpr unsigned QuietPassesBeforePacing = 3;
constexpr int MaxPacingMs = 100;

int PacingMs(unsigned emptyPasses) {
    if (emptyPasses < QuietPassesBeforePacing) {
        return 0;
    }
    const unsigned shift = std::min(emptyPasses - QuietPassesBeforePacing, 7u);
    return std::min(1 << shift, MaxPacingMs);
}

} // namespace

void TPortThread::StartWorker() {
    if (!Worker.joinable()) {
        Worker = std::thread(&TPortThread::Run, this);
    }
}

void TPortThread::StopWorker() {
    if (!Worker.joinable()) {
        return;
    }
    std::unique_lock<std::mutex> lock(Lock);
    Stop = true;
    Wake.Signal();
    Changed.notify_all();
    AwaitWorker(lock, [this] { return WorkerDone; });
    lock.unlock();
    Worker.join();
}

// The worker may be blocked in a main-thread call: serve such calls while waiting for it.
void TPortThread::AwaitWorker(std::unique_lock<std::mutex>& lock,
                              const std::function<bool()>& done) {
    while (!done()) {
        lock.unlock();
        if (MainThread.ProcessPending) {
            MainThread.ProcessPending();
        }
        lock.lock();
        Changed.wait_for(lock, std::chrono::milliseconds(2), done);
    }
}

// Keeps the worker out of the device's wait until EndPause; returns once it has left it.
void TPortThread::BeginPause(std::unique_lock<std::mutex>& lock) {
    ++PauseRequests;
    Wake.Signal();
    Changed.wait(lock, [this] { return !WorkerWaiting; });
}

void TPortThread::EndPause(std::unique_lock<std::mutex>& lock) {
    (void)lock;
    --PauseRequests;
    Changed.notify_all();
}

void TPortThread::Run() {
    RaiseCurrentThreadPriority();
    ByteString chunk;
    std::unique_lock<std::mutex> lock(Lock);
    for (TWorkerStep step; (step = NextStep(lock)) != TWorkerStep::Stop;) {
        if (step == TWorkerStep::Reopen) {
            TryReopen(lock);
            continue;
        }
        const std::uint64_t generation = LinkGeneration;
        ISerialDevice& device = *ComHandle;
        const TWaitResult result = WaitForData(lock, device, generation);
        if (result == TWaitResult::Hangup) {
            lock.unlock();
            CallMain([this, generation] { Vanish(generation); });
            lock.lock();
            continue;
        }
        if (result != TWaitResult::Readable) {
            continue;
        }
        if (!ReadPass(device, chunk)) {
            ++EmptyPasses;
            continue;
        }
        EmptyPasses = 0;
        lock.unlock();
        CallMain([&] { Deliver(chunk); }); // returns once OnReceive has run
        lock.lock();
    }
    WorkerDone = true;
    Changed.notify_all();
}

// Called and returns with the lock held. Looks for the vanished device and opens it without the
// lock (an open may block for seconds: a Bluetooth port, a busy driver), then hands it to the
// main thread; a device the link no longer waits for is closed again here.
void TPortThread::TryReopen(std::unique_lock<std::mutex>& lock) {
    const std::uint64_t generation = LinkGeneration;
    const TReplugTrail trail = Trail;
    const TLineConfig config = Line;
    ReopenInFlight = true;
    lock.unlock();
    TOpenedPort opened = OpenReturned(trail, config, Environment);
    if (opened.Device) {
        CallMain([&] { Adopt(opened, generation); });
    }
    if (opened.Device) {
        std::optional<std::uint32_t> status;
        CloseOpened(*opened.Device, opened.Adapter, opened.Config, status);
        opened.Device.reset();
    }
    lock.lock();
    ReopenInFlight = false;
    Changed.notify_all();
}

// Sleeps while there is nothing to do: link closed, or the main thread busy with the device.
// While the device of an open link is gone, asks for a reopen every ReopenIntervalMs.
TPortThread::TWorkerStep TPortThread::NextStep(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        Changed.wait(lock, [this] { return Stop || (PauseRequests == 0 && PortOpen); });
        if (Stop) {
            return TWorkerStep::Stop;
        }
        if (!Lost()) {
            return TWorkerStep::Watch;
        }
        const std::uint64_t generation = LinkGeneration;
        const bool changed =
            Changed.wait_for(lock, std::chrono::milliseconds(ReopenIntervalMs), [&] {
                return Stop || !PortOpen || PauseRequests != 0 || LinkGeneration != generation;
            });
        if (!changed) {
            return TWorkerStep::Reopen;
        }
    }
}

// Called and returns with the lock held; releases it while blocked.
TWaitResult TPortThread::WaitForData(std::unique_lock<std::mutex>& lock, ISerialDevice& device,
                                     std::uint64_t generation) {
    Wake.Clear(); // under the lock: a signal given after this point ends the wait below
    WorkerWaiting = true;
    const int pacing = PacingMs(EmptyPasses);
    lock.unlock();
    TWaitResult result = TWaitResult::Woken;
    if (pacing == 0 || !Wake.WaitFor(pacing)) {
        result = device.Wait(Wake);
    }
    lock.lock();
    WorkerWaiting = false;
    Changed.notify_all();
    if (result == TWaitResult::Hangup) {
        LostGeneration = generation; // not watched again; reopened when it is back
    }
    return result;
}

// Under the lock. Reads what is waiting, at most MaxChunk bytes; only bytes actually read count.
bool TPortThread::ReadPass(ISerialDevice& device, ByteString& chunk) {
    std::uint32_t waiting = 0;
    if (!device.BytesWaiting(waiting) || waiting == 0) {
        return false;
    }
    ReceiveData.resize(std::min(waiting, MaxChunk));
    std::uint32_t got = 0;
    const bool ok =
        device.Read(ReceiveData.data(), static_cast<std::uint32_t>(ReceiveData.size()), got);
    if (!ok || got == 0) {
        ReceiveData.clear();
        return false;
    }
    ReceiveData.resize(std::min<std::size_t>(got, ReceiveData.size()));
    chunk.swap(ReceiveData);
    ReceiveData.clear();
    return true;
}

void TPortThread::CallMain(const std::function<void()>& routine) {
    try {
        MainThread.Call(routine);
    } catch (...) {
        // The call mechanism itself failed; what it carried is lost, the worker carries on.
    }
}

// Main thread. Every chunk read reaches OnReceive, also one read just before a close or a
// reopen; only a link being destroyed drops it, its owner being half torn down.
void TPortThread::Deliver(const ByteString& chunk) {
    if (Stopping || !OnReceive) {
        return;
    }
    try {
        OnReceive(chunk);
    } catch (...) {
        // A failing handler must not end reception; the chunk is dropped.
    }
}

} // namespace quorvel
