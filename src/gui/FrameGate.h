// Holds a top-level window's repaints to at most one per display frame: an update request that
// comes sooner after the last repaint waits for the rest of the frame, and every change made in
// between is painted together then. GUI thread only; the gate is a child of its window.
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

    // Runs just before each repaint is let through: the last moment to bring deferred texts
    // up to date, so the frame shows them.
    std::function<void()> BeforeRepaint;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Release();
    void LetThrough();

    QWidget* Window;
    QTimer Held;
    QElapsedTimer SinceRepaint;
    bool Releasing = false;
    int RepaintCount = 0;
};

} // namespace quorvel
