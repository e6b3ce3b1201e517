// Holds a top-level window's repaints to at most one per display frame: an update request that
// comes sooner after the last repaint waits for the rest of the frame, and every change made in
// between is painted together then. GUI thread only; the gate is a child of its window.
// While poll ticks come faster than frames, a due repaint goes out with the next tick
// (TickCame) rather than with a wake-up of its own; its timer only covers ticks that stop.
// The values waiting in Refresh() are written before every frame the window draws, whichever
// way the frame comes: a let-through repaint, an expose or resize, the window shown or
// restored; and when the toolkit asks for no repaint at all (as after a minimised window's
// discarded one), the gate brings the frame itself within two frame periods.
#pragma once

#include "FrameRefresh.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;
class QWindow;

namespace quorvel {

class TFrameGate : public QObject {
  public:
    static constexpr int FrameMs = 16;

    explicit TFrameGate(QWidget* window);

    int Repaints() const { return RepaintCount; } // repaints let through so far
    // Texts and moves that wait for the window's next frame.
    TFrameRefresh& Refresh() { return Values; }

    // Called after each poll tick of a timer with the given period: lets a held repaint through
    // once its frame has come.
    void TickCame(int periodMs);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool FilterUpdateRequest();
    void WatchPlatformWindow();
    void Owe();
    void StartHold(int ms);
    void Release();
    void LetThrough();
    bool FrameDue() const;
    int HoldMs() const;

    QWidget* Window;
    QPointer<QWindow> PlatformWindow;
    TFrameRefresh Values;
    QTimer Held;
    QElapsedTimer SinceRepaint;
    QElapsedTimer SinceTick;
    int TickPeriodMs = 0;
    bool Holding = false; // an update request of the toolkit's waits for its frame
    bool Releasing = false;
    int RepaintCount = 0;
};

} // namespace quorvel
