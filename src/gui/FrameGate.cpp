#include "FrameGate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace quorvel {

TFrameGate::TFrameGate(QWidget* window) : QObject(window), Window(window) {
    Held.setSingleShot(true);
    Held.setTimerType(Qt::PreciseTimer);
    connect(&Held, &QTimer::timeout, this, &TFrameGate::Release);
    Values.OnWaiting = [this] { Owe(); };
    window->installEventFilter(this);
    WatchPlatformWindow();
}

// The platform window exists once the window has been shown (or its id asked for).
void TFrameGate::WatchPlatformWindow() {
    QWindow* platform = Window->windowHandle();
    if (platform != nullptr && platform != PlatformWindow) {
        PlatformWindow = platform;
        platform->installEventFilter(this);
    }
}

bool TFrameGate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Window) {
        // An expose (which newer toolkits deliver as a paint event once the window is shown) or a
        // resize repaints straight from the toolkit's dirty list, with no update request: the
        // waiting values must be in their widgets before it.
        const QEvent::Type type = event->type();
        if (type == QEvent::Expose || type == QEvent::Paint || type == QEvent::Resize) {
            Values.Apply();
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::Show:
        WatchPlatformWindow();
        Values.Apply();
        return false;
    case QEvent::WindowStateChange:
        Values.Apply();
        return false;
    case QEvent::UpdateRequest:
        return FilterUpdateRequest();
    default:
        return false;
    }
}

// The repaint manager keeps the dirty regions and asks for no further repaint until this one
// has been delivered, so holding the request loses nothing.
bool TFrameGate::FilterUpdateRequest() {
    if (Releasing) {
        return false;
    }
    if (!FrameDue()) {
        Holding = true;
        StartHold(HoldMs());
        return true;
    }
    LetThrough();
    return false;
}

// A value started to wait. The toolkit's own update request normally brings its frame; once a
// minimised window's repaint has been discarded the toolkit asks for none until the window is
// exposed again, so the gate's timer is the backstop.
void TFrameGate::Owe() {
    if (!Held.isActive()) {
        Held.start(2 * FrameMs);
    }
}

void TFrameGate::StartHold(int ms) {
    if (!Held.isActive() || Held.remainingTime() > ms) {
        Held.start(ms);
    }
}

bool TFrameGate::FrameDue() const {
    return !SinceRepaint.isValid() || SinceRepaint.elapsed() >= FrameMs;
}

// The rest of the frame; while ticks are coming, one tick period more, so that the tick after
// the frame's end is the one that lets the repaint through.
int TFrameGate::HoldMs() const {
    int hold = static_cast<int>(FrameMs - SinceRepaint.elapsed());
    const bool ticking = SinceTick.isValid() && TickPeriodMs > 0 && TickPeriodMs < FrameMs &&
                         SinceTick.elapsed() <= 2 * TickPeriodMs;
    if (ticking) {
        hold += TickPeriodMs;
    }
    return hold;
}

void TFrameGate::TickCame(int periodMs) {
    TickPeriodMs = periodMs;
    SinceTick.start();
    if (Holding && FrameDue()) {
        Release();
    }
}

void TFrameGate::LetThrough() {
    Held.stop();
    Holding = false;
    SinceRepaint.start();
    ++RepaintCount;
    Values.Apply();
}

void TFrameGate::Release() {
    LetThrough();
    Releasing = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(Window, &request);
    Releasing = false;
}

} // namespace quorvel
