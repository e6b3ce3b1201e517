#include "MainThreadCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace quorvel {

namespace {

// Qt's event queue orders the worker's writes before the GUI thread's reads, but with its own
// futex locks, which ThreadSanitizer cannot see in an uninstrumented Qt. So the call is also
// handed over under a lock of ours: the worker holds it while Qt builds the queued functor, the
// GUI thread takes it before it reads that functor.
std::mutex HandOff;

// What the waiting worker and the queued functor share.
struct TCallState {
    std::mutex Lock;
    std::condition_variable Finished;
    bool Done = false;
};

// Owned by the queued functor alone: wakes the worker once the call has run, or when Qt drops it
// unrun (its context gone), since the functor, and this with it, is destroyed either way.
class TFinishOnDestroy {
  public:
    explicit TFinishOnDestroy(std::shared_ptr<TCallState> state) : State(std::move(state)) {}
    TFinishOnDestroy(const TFinishOnDestroy&) = delete;
    TFinishOnDestroy& operator=(const TFinishOnDestroy&) = delete;
    ~TFinishOnDestroy() {
        std::lock_guard<std::mutex> lock(State->Lock);
        State->Done = true;
        State->Finished.notify_all();
    }

  private:
    std::shared_ptr<TCallState> State;
};

// The calling thread blocks until the GUI thread has run the routine.
void CallOnGuiThread(QObject* context, const std::function<void()>& routine) {
    auto state = std::make_shared<TCallState>();
    {
        std::lock_guard<std::mutex> handOff(HandOff);
        QMetaObject::invokeMethod(
            context,
            [finish = std::make_shared<TFinishOnDestroy>(state), &routine] {
                { std::lock_guard<std::mutex> handOff(HandOff); }
                routine();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock<std::mutex> lock(state->Lock);
    state->Finished.wait(lock, [&] { return state->Done; });
}

} // namespace

TMainThreadCall QtMainThreadCall(QObject* context) {
    TMainThreadCall call;
    call.Call = [context](const std::function<void()>& routine) {
        if (QThread::currentThread() == context->thread()) {
            routine();
            return;
        }
        CallOnGuiThread(context, routine);
    };
    // Only the queued calls are run here, so no timer tick or input event slips in.
    call.ProcessPending = [context] {
        QCoreApplication::sendPostedEvents(context, QEvent::MetaCall);
    };
    return call;
}

} // namespace quorvel
