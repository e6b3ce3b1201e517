// The counter boxes at a fast tick: the text a box shows when drawn is the latest tick's, and a
// frame's worth of ticks costs each box one new text, not one per tick.
#include "WindowHarness.h"

#include "Wait4msg.h"

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

} // namespace
} // namespace quorvel::test
