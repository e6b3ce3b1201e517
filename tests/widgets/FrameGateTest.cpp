// Repaints of a window held to one per display frame, with the latest state painted.
#include "FrameGate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// Counts its paints and remembers the value it showed last.
class TCountingBox : public QWidget {
  public:
    using QWidget::QWidget;
    int Value = 0;
    int Painted = -1;
    int Paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawText(rect(), QString::number(Value));
        Painted = Value;
        ++Paints;
    }
};

TEST(FrameGate, ManyChangesWithinAFrameCostOneRepaintAndTheLastIsShown) {
    QWidget window;
    window.resize(200, 100);
    auto* box = new TCountingBox(&window);
    box->setGeometry(10, 10, 80, 30);
    auto* gate = new TFrameGate(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(3 * TFrameGate::FrameMs);
    const int paintsBefore = box->Paints;

    // 100 ticks 2 ms apart, each changing the box, with the event loop running in between.
    QElapsedTimer clock;
    clock.start();
    int ticks = 0;
    while (ticks < 100) {
        box->Value = ++ticks;
        box->update();
        QElapsedTimer tick;
        tick.start();
        while (tick.elapsed() < 2) {
            QApplication::processEvents();
        }
    }
    const auto elapsed = static_cast<int>(clock.elapsed());
    EXPECT_TRUE(QTest::qWaitFor([&] { return box->Painted == ticks; }, 2000))
        << "the last change reaches the screen";
    const int paints = box->Paints - paintsBefore;
    EXPECT_LE(paints, elapsed / TFrameGate::FrameMs + 2) << "at most one repaint a frame";
    EXPECT_GE(paints, 3) << "repaints still happen while changes go on";
    EXPECT_GE(gate->Repaints(), paints);
}

} // namespace
} // namespace quorvel
