// Repaints of a window held to one per display frame, with the latest state painted; values
// waiting for the frame reach their widgets before every frame, however it comes.
#include "FrameGate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QWindow>

#include <functional>
#include <string>
#include <utility>
#include <vector>

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

// A window with a box whose text waits in the gate's refresh for the next frame.
class FrameRefreshTest : public ::testing::Test {
  protected:
    FrameRefreshTest() {
        Window.resize(200, 100);
        Box->setGeometry(10, 10, 80, 24);
        Window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
        QTest::qWait(3 * TFrameGate::FrameMs);
    }

    QWidget Window;
    QLineEdit* Box = new QLineEdit(&Window);
    TFrameGate* Gate = new TFrameGate(&Window);
};

TEST_F(FrameRefreshTest, ATextWaitsForTheFrameAndTheLastOneIsWritten) {
    int writes = 0;
    QObject::connect(Box, &QLineEdit::textChanged, [&writes] { ++writes; });
    for (int k = 1; k <= 5; ++k) {
        Gate->Refresh().SetText(Box, std::to_string(k));
    }
    EXPECT_TRUE(Box->text().isEmpty()) << "not before the frame";
    EXPECT_TRUE(Gate->Refresh().Waiting());
    EXPECT_TRUE(QTest::qWaitFor([this] { return Box->text() == QStringLiteral("5"); }, 2000));
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(Gate->Refresh().Waiting());
}

// Once the toolkit asks for no repaint (as a minimised window's discarded one leaves it), the
// gate brings the frame itself, within two frame periods.
TEST_F(FrameRefreshTest, ATextWaitingWithNoRepaintAskedForIsWrittenWithinTwoFrames) {
    Window.setUpdatesEnabled(false); // update() asks for nothing now
    QElapsedTimer clock;
    clock.start();
    Gate->Refresh().SetText(Box, "7");
    ASSERT_TRUE(QTest::qWaitFor([this] { return Box->text() == QStringLiteral("7"); }, 2000));
    EXPECT_LE(clock.elapsed(), 2 * TFrameGate::FrameMs + 30);
    Window.setUpdatesEnabled(true);
}

// Showing the window, restoring it, or its platform window being exposed or resized draws a
// frame that does not pass the gate: the waiting values are written before it, at once.
TEST_F(FrameRefreshTest, EveryWayAFrameComesWritesTheWaitingValuesFirst) {
    QWidget* marker = new QWidget(&Window);
    marker->setGeometry(100, 10, 6, 6);
    marker->show();
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"shown", [this] { Window.hide(), Window.show(); }},
        {"minimised", [this] { Window.setWindowState(Qt::WindowMinimized); }},
        {"restored", [this] { Window.setWindowState(Qt::WindowNoState); }},
        {"expose",
         [this] {
             QExposeEvent expose(QRegion(0, 0, 200, 100));
             QCoreApplication::sendEvent(Window.windowHandle(), &expose);
         }},
        {"resize",
         [this] {
             QResizeEvent resize(QSize(200, 100), QSize(200, 100));
             QCoreApplication::sendEvent(Window.windowHandle(), &resize);
         }},
    };
    int k = 0;
    for (const auto& [name, way] : ways) {
        ++k;
        Gate->Refresh().SetText(Box, std::to_string(k));
        Gate->Refresh().SetTop(marker, 10 + k);
        ASSERT_TRUE(Gate->Refresh().Waiting()) << name;
        way();
        EXPECT_EQ(Box->text(), QString::number(k)) << name;
        EXPECT_EQ(marker->y(), 10 + k) << name;
        EXPECT_FALSE(Gate->Refresh().Waiting()) << name;
        if (!Window.isMinimized()) {
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
            QTest::qWait(3 * TFrameGate::FrameMs);
        }
    }
}

// A hidden window draws nothing: its box takes the text at once. A box the operator typed
// into takes the same text again.
TEST_F(FrameRefreshTest, AHiddenBoxTakesTheTextAtOnceAndTypedTextGivesWay) {
    Window.hide();
    Gate->Refresh().SetText(Box, "3");
    EXPECT_EQ(Box->text(), QStringLiteral("3"));
    EXPECT_FALSE(Gate->Refresh().Waiting());
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    Box->setFocus();
    QTest::keyClicks(Box, QStringLiteral("9"));
    ASSERT_EQ(Box->text(), QStringLiteral("39"));
    Gate->Refresh().SetText(Box, "3");
    EXPECT_TRUE(QTest::qWaitFor([this] { return Box->text() == QStringLiteral("3"); }, 2000));
}

} // namespace
} // namespace quorvel
