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

// A window with one counting box and its gate.
class FrameGate : public ::testing::Test {
  protected:
    FrameGate() {
        Window.resize(200, 100);
        Box->setGeometry(10, 10, 80, 30);
        Window.show();
    }

    QWidget Window;
    TCountingBox* Box = new TCountingBox(&Window);
    TFrameGate* Gate = new TFrameGate(&Window);
};

TEST_F(FrameGate, ManyChangesWithinAFrameCostOneRepaintAndTheLastIsShown) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    QTest::qWait(3 * TFrameGate::FrameMs);
    const int paintsBefore = Box->Paints;

    // 100 ticks 2 ms apart, each changing the box, with the event loop running in between.
    QElapsedTimer clock;
    clock.start();
    int ticks = 0;
    while (ticks < 100) {
        Box->Value = ++ticks;
        Box->update();
        QElapsedTimer tick;
        tick.start();
        while (tick.elapsed() < 2) {
            QApplication::processEvents();
        }
    }
    const auto elapsed = static_cast<int>(clock.elapsed());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Box->Painted == ticks; }, 2000))
        << "the last change reaches the screen";
    const int paints = Box->Paints - paintsBefore;
    EXPECT_LE(paints, elapsed / TFrameGate::FrameMs + 2) << "at most one repaint a frame";
    EXPECT_GE(paints, 3) << "repaints still happen while changes go on";
    EXPECT_GE(Gate->Repaints(), paints);
}

// A window polled faster than its frames: the held repaint goes out with the first tick after
// the frame's end, within that tick, and its own timer still brings it when the ticks stop.
TEST_F(FrameGate, ATickAfterTheFramesEndLetsTheHeldRepaintThrough) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));

    int tickReleases = 0;
    for (int attempt = 0; attempt < 20 && tickReleases < 3; ++attempt) {
        Box->Value = 0;
        Box->update();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Box->Painted == 0; }, 2000));
        Gate->TickCame(2);
        Box->Value = 1;
        Box->update();
        QApplication::processEvents(); // the request arrives within the frame and is held
        if (Box->Painted == 1) {
            continue; // too slow a machine to be within the frame; try again
        }
        QTest::qSleep(TFrameGate::FrameMs + 1);
        Gate->TickCame(2);
        EXPECT_EQ(Box->Painted, 1) << "the tick after the frame's end repaints at once";
        tickReleases += Box->Painted == 1 ? 1 : 0;
    }
    EXPECT_GE(tickReleases, 3);

    // Ticks stop: the held repaint comes by the gate's own timer.
    Gate->TickCame(2);
    Box->Value = 2;
    Box->update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Box->Painted == 2; }, 2000));
}

} // namespace
} // namespace quorvel
