#include "MainThreadCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace quorvel {

TMainThreadCall QtMainThreadCall(QObject* context) {
    TMainThreadCall call;
    call.Call = [context](const std::function<void()>& routine) {
        if (QThread::currentThread() == context->thread()) {
            routine();
            return;
        }
        QMetaObject::invokeMethod(
            context, [&routine] { routine(); }, Qt::BlockingQueuedConnection);
    };
    // Only the queued calls are run here, so no timer tick or input event slips in.
    call.ProcessPending = [context] {
        QCoreApplication::sendPostedEvents(context, QEvent::MetaCall);
    };
    return call;
}

} // namespace quorvel
