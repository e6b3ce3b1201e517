// The window as a person uses it on a desktop with a window manager: minimised and restored,
// covered and uncovered, moved off the screen and back, hidden and shown, a panel shown and
// hidden. Whatever it went through, the X server then shows the counts of the tick that last
// ran and the marker beside the row last served, and goes on showing every later tick.
#include "Desktop.h"
#include "ImageDifference.h"
#include "WindowHarness.h"

#include "Wait4msg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <array>
#include <functional>
#include <string>

namespace quorvel::test {
namespace {

constexpr std::array<const char*, 5> CounterBoxes = {
    "Edit_SentMessage", "Edit_RecMessage", "Edit_NoAnswer", "Edit_ErrorMessage", "Edit_Error"};

bool IsRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

QString ScreenshotPath(const QString& name) {
    const QString folder = qEnvironmentVariable("QUORVEL_SCREENS", QStringLiteral(SCREENSHOT_DIR));
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

class DesktopWindowTest : public ::testing::Test {
  protected:
    DesktopWindowTest() {
        EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "run through on-desktop.sh";
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window()));
        QTest::qWait(100);
        Engine().ArmPollCycle();
    }

    TForm_Quorvel& Window() { return Harness.Window(); }
    TPollEngine& Engine() { return Window().Engine(); }

    // Poll ticks 2 ms apart (the shortest RTU period), each sending, with the event loop
    // running between them as between the timer's ticks. The port is closed; a send counts
    // all the same. Remembers the counts the last tick showed: those before its own send.
    void Ticks(int count) {
        for (int k = 0; k < count; ++k) {
            Engine().PollPhase = ReadyToSend;
            const TExchangeState& s = Engine().ExchangeState;
            Shown = {s.SentCount, s.ReceivedCount, s.SentCount - s.ReceivedCount, s.ExceptionCount,
                     s.BadFrameCount};
            Window().TimerTimer();
            QTest::qWait(2);
        }
    }

    // What the X server shows a few frames after the last tick (or, coming back after ticks that
    // ran while away, from the first moment the window shows at all): every counter box with
    // that tick's count, and the query marker beside the row that tick served and no other.
    // The manager may show its frame a while before the X server exposes the window inside:
    // from the first moment the window's own pixels are on the screen, they must be right.
    bool WindowOnScreen() {
        auto* client = Harness.Find<QWidget>("Client");
        const QRgb background = client->palette().color(QPalette::Window).rgb();
        return WaitFor([&] { return ScreenPixel(client, QPoint(230, 3)) == background; }, 10000);
    }

    void ExpectScreenShowsLastTick(const std::string& when, bool rightAway = false,
                                   const QString& screenshot = {}) {
        ASSERT_TRUE(WindowOnScreen()) << when;
        if (!rightAway) {
            QTest::qWait(100);
        }
        if (!screenshot.isEmpty()) {
            ScreenOf(&Window()).save(ScreenshotPath(screenshot));
        }
        for (std::size_t k = 0; k < CounterBoxes.size(); ++k) {
            auto* box = Harness.Find<QLineEdit>(CounterBoxes[k]);
            EXPECT_EQ(box->text(), QString::number(Shown[k])) << when << ": " << CounterBoxes[k];
            // The box's own drawing of that text is what the screen must hold (inside its
            // rounded border, whose corners blend with what lies behind).
            const QRect inside = box->rect().adjusted(2, 2, -2, -2);
            EXPECT_LE(MaxDifference(ScreenOf(box).copy(inside), box->grab(inside).toImage()), 2)
                << when << ": " << CounterBoxes[k] << " on the screen";
        }
        auto* group = Harness.Find<QWidget>("Group_Query");
        const int served = Engine().PollIndex;
        for (int row = 0; row < 4; ++row) {
            const bool red = IsRed(ScreenPixel(group, QPoint(11, 28 + 25 * row)));
            EXPECT_EQ(red, row == served)
                << when << ": marker at row " << row << ", served " << served;
        }
    }

    // Ticks while shown, then while away, then checks the screen right after coming back and
    // again after more ticks. A window that stayed on the screen (offScreen false) may still
    // hold the last tick for its frame when it comes back.
    void LeaveAndComeBack(const std::string& name, const std::function<bool()>& leave,
                          const std::function<bool()>& back, bool offScreen = true) {
        Ticks(20);
        ExpectScreenShowsLastTick("before " + name);
        ASSERT_TRUE(leave()) << name;
        Ticks(37); // an odd count, so the marker ends on another row
        ASSERT_TRUE(back()) << name;
        ExpectScreenShowsLastTick("right after " + name, offScreen, Screenshot);
        Ticks(23);
        ExpectScreenShowsLastTick("ticking on after " + name);
    }

    WindowHarness Harness;
    std::array<std::int32_t, 5> Shown{};
    QString Screenshot; // where the screen right after coming back is saved, if anywhere
};

TEST_F(DesktopWindowTest, MinimisedAndRestoredThroughTheWindowManager) {
    Screenshot = QStringLiteral("restored.png");
    LeaveAndComeBack(
        "minimised", [this] { return Minimise(&Window()); }, [this] { return Restore(&Window()); });
}

// The CPU the frame gate saves holds on a real desktop: at the 2 ms tick a counter box is
// drawn at most once a frame while shown, and not at all while minimised.
TEST_F(DesktopWindowTest, TheTwoMsTickCostsACounterBoxOneRepaintAFrameAndNoneWhileMinimised) {
    auto* box = Harness.Find<QLineEdit>("Edit_SentMessage");
    int paints = 0;
    TEventCounter counter(QEvent::Paint, paints);
    box->installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    Ticks(250);
    const auto elapsed = static_cast<int>(clock.elapsed());
    EXPECT_LE(paints, elapsed / 16 + 2) << elapsed << " ms";
    EXPECT_GE(paints, 3);

    ASSERT_TRUE(Minimise(&Window()));
    QTest::qWait(50);
    paints = 0;
    Ticks(250);
    EXPECT_EQ(paints, 0);
    ASSERT_TRUE(Restore(&Window()));
    ExpectScreenShowsLastTick("restored", true);
    EXPECT_GE(paints, 1);
}

TEST_F(DesktopWindowTest, CoveredByAnotherWindowAndUncovered) {
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("Takaró"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(20, 60, 140));
    cover.setPalette(dark);
    cover.setAutoFillBackground(true);
    cover.setGeometry(Window().geometry().adjusted(-20, -40, 20, 20));
    Screenshot = QStringLiteral("uncovered.png");
    auto* sent = Harness.Find<QWidget>("Edit_SentMessage");
    const auto covered = [sent] { return ScreenPixel(sent, QPoint(3, 3)) == qRgb(20, 60, 140); };
    LeaveAndComeBack(
        "covered",
        [&] {
            cover.show();
            return QTest::qWaitForWindowExposed(&cover) &&
                   Xdotool({QStringLiteral("windowactivate"), WindowIdOf(&cover)}) &&
                   WaitFor(covered, 10000);
        },
        [&] {
            cover.hide();
            return WaitFor([&] { return !covered(); }, 10000);
        });
}

TEST_F(DesktopWindowTest, MovedOffTheScreenAndBack) {
    const QPoint home = Window().pos();
    const QString id = WindowIdOf(&Window());
    LeaveAndComeBack(
        "moved off the screen",
        [&] {
            // The manager keeps a strip of the window on the screen; the groups go off it.
            return Xdotool({QStringLiteral("windowmove"), id, QStringLiteral("1250"),
                            QString::number(home.y())}) &&
                   WaitFor([this] { return Window().x() > 1200; }, 10000);
        },
        [&] {
            return Xdotool({QStringLiteral("windowmove"), id, QString::number(home.x()),
                            QString::number(home.y())}) &&
                   WaitFor([&] { return Window().pos() == home; }, 10000) &&
                   WaitFor([this] { return Window().windowHandle()->isExposed(); }, 10000);
        });
}

TEST_F(DesktopWindowTest, HiddenAndShown) {
    LeaveAndComeBack(
        "hidden",
        [this] {
            Window().hide();
            return WaitFor([this] { return !Window().windowHandle()->isExposed(); }, 10000);
        },
        [this] {
            Window().show();
            return QTest::qWaitForWindowExposed(&Window());
        });
}

TEST_F(DesktopWindowTest, ALogPanelShownAndHidden) {
    auto* messages = Harness.Find<QPushButton>("Bt_Messages");
    LeaveAndComeBack(
        "the log shown",
        [&] {
            messages->click();
            return WaitFor([this] { return Window().height() > 500; }, 10000);
        },
        [&] {
            messages->click();
            return WaitFor([this] { return Window().height() < 400; }, 10000);
        },
        false);
}

} // namespace
} // namespace quorvel::test
