// The counter boxes and the query marker at a fast tick: what the window shows when drawn is the
// latest tick's, and a frame's worth of ticks costs each box one new text and the marker one
// move, not one per tick.
#include "WindowHarness.h"

#include "Wait4msg.h"

#include <QEvent>
#include <QLineEdit>
#include <QTest>

namespace quorvel::test {
namespace {

class CounterDisplayTest : public ::testing::Test {
  protected:
    TPollEngine& Engine() { return Harness.Window().Engine(); }
    QLineEdit* Sent() { return Harness.Find<QLineEdit>("Edit_SentMessage"); }

    // Ticks as fast as the code runs, each one sending (the port is closed; a send is counted
    // whether or not it was written).
    void SendingTicks(int count) {
        for (int k = 0; k < count; ++k) {
            Engine().PollPhase = ReadyToSend;
            Harness.Window().TimerTimer();
        }
    }

    WindowHarness Harness;
};

TEST_F(CounterDisplayTest, TicksWithinAFrameReachTheBoxOnceWithTheLatestCount) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Harness.Window()));
    QTest::qWait(50);
    Engine().ArmPollCycle();
    int changes = 0;
    QObject::connect(Sent(), &QLineEdit::textChanged, [&changes] { ++changes; });

    SendingTicks(8);
    // One more tick shows the eighth send; the box is redrawn with it, once.
    Harness.Window().TimerTimer();
    EXPECT_TRUE(WaitFor([this] { return Sent()->text() == QStringLiteral("8"); }, 2000))
        << Sent()->text().toStdString();
    EXPECT_EQ(changes, 1);

    SendingTicks(3);
    Harness.Window().TimerTimer();
    EXPECT_TRUE(WaitFor([this] { return Sent()->text() == QStringLiteral("11"); }, 2000));
    EXPECT_EQ(changes, 2);
}

TEST_F(CounterDisplayTest, AHiddenWindowsBoxesTakeTheCountAtOnce) {
    Harness.Window().hide();
    Engine().ArmPollCycle();
    SendingTicks(2);
    Harness.Window().TimerTimer();
    EXPECT_EQ(Sent()->text(), QStringLiteral("2"));

    // Shown again, it draws the count it was given and goes on from there.
    Harness.Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Harness.Window()));
    SendingTicks(1);
    Harness.Window().TimerTimer();
    EXPECT_TRUE(WaitFor([this] { return Sent()->text() == QStringLiteral("3"); }, 2000));
}

TEST_F(CounterDisplayTest, TicksWithinAFrameMoveTheMarkerOnceToTheLatestRow) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Harness.Window()));
    QWidget* marker = Harness.Find<QWidget>("Shape_Query");
    Engine().ArmPollCycle();
    Harness.Window().TimerTimer();
    ASSERT_TRUE(WaitFor([marker] { return marker->isVisible() && marker->y() == 50; }, 2000));
    QTest::qWait(50);
    int moves = 0;
    TEventCounter counter(QEvent::Move, moves);
    marker->installEventFilter(&counter);

    SendingTicks(9); // through all four rows twice and on to the next
    const int top = 25 + 25 * Engine().PollIndex;
    EXPECT_TRUE(WaitFor([marker, top] { return marker->y() == top; }, 2000)) << marker->y();
    QTest::qWait(50);
    EXPECT_EQ(moves, 1);
}

// Every tick writes the counts: a box the operator has typed into shows the count again at the
// next tick, even when the count has not changed.
TEST_F(CounterDisplayTest, TypedTextGivesWayToTheCountAtTheNextTick) {
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Harness.Window()));
    Engine().ArmPollCycle();
    SendingTicks(2);
    Harness.Window().TimerTimer();
    ASSERT_TRUE(WaitFor([this] { return Sent()->text() == QStringLiteral("2"); }, 2000));

    Sent()->setFocus();
    QTest::keyClicks(Sent(), QStringLiteral("77"));
    ASSERT_EQ(Sent()->text(), QStringLiteral("277"));
    Harness.Window().TimerTimer(); // the count is still 2
    EXPECT_TRUE(WaitFor([this] { return Sent()->text() == QStringLiteral("2"); }, 2000))
        << Sent()->text().toStdString();
}

} // namespace
} // namespace quorvel::test
