// Holds a top-level window's repaints to at most one per display frame: an update request that
// comes sooner after the last repaint waits for the rest of the frame, and every change made in
// between is painted together then. GUI thread only; the gate is a child of its window.
// While poll ticks come faster than frames, a due repaint goes out with the next tick
// (TickCame) rather than with a wake-up of its own; its timer only covers ticks that stop.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

namespace quorvel {

class TFrameGate : public QObject {
  public:
    static constexpr int FrameMs = 16;

    explicit TFrameGate(QWidget* window);

    int Repaints() const { return RepaintCount; } // repaints let through so far

    // Called after each poll tick of a timer with the given period: lets a held repaint through
    // once its frame has come.
    void TickCame(int periodMs);

    // Runs just before each repaint is let through: the last moment to bring deferred texts
    // up to date, so the frame shows them.
    std::function<void()> BeforeRepaint;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Release();
    void LetThrough();
    int HoldMs() const;

    QWidget* Window;
    QTimer Held;
    QElapsedTimer SinceRepaint;
    QElapsedTimer SinceTick;
    int TickPeriodMs = 0;
    bool Releasing = false;
    int RepaintCount = 0;
};

} // namespace quorvel
