#include "FrameGate.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace quorvel {

TFrameGate::TFrameGate(QWidget* window) : QObject(window), Window(window) {
    Held.setSingleShot(true);
    Held.setTimerType(Qt::PreciseTimer);
    connect(&Held, &QTimer::timeout, this, &TFrameGate::Release);
    window->installEventFilter(this);
}

// The repaint manager keeps the dirty regions and asks for no further repaint until this one
// has been delivered, so holding the request loses nothing.
bool TFrameGate::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Window || event->type() != QEvent::UpdateRequest || Releasing) {
        return false;
    }
    if (SinceRepaint.isValid() && SinceRepaint.elapsed() < FrameMs) {
        if (!Held.isActive()) {
            Held.start(HoldMs());
        }
        return true;
    }
    LetThrough();
    return false;
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
    if (Held.isActive() && SinceRepaint.elapsed() >= FrameMs) {
        Held.stop();
        Release();
    }
}

void TFrameGate::LetThrough() {
    SinceRepaint.start();
    ++RepaintCount;
    if (BeforeRepaint) {
        BeforeRepaint();
    }
}

void TFrameGate::Release() {
    LetThrough();
    Releasing = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(Window, &request);
    Releasing = false;
}

} // namespace quorvel
