#include "MessageLogPanel.h"
#include "GuiFont.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quorvel {
namespace {

const char* const AsciiRead = "3A 30 31 30 33 46 30 39 38 30 30 30 31 37 33 0D 0A ";

// Appends one line every 2 ms (the shortest RTU poll tick) until lines more have gone in, with
// the event loop running between the appends as between two poll ticks; then lets the view
// catch up, which it does within a display frame.
void AppendAtTwoMsTick(TFrameMemo& memo, int lines, int& counter) {
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { memo.AppendLine("line " + std::to_string(counter++)); });
    const int end = counter + lines;
    tick.start();
    while (counter < end) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    tick.stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !memo.SyncPending(); }, 5000));
}

TEST(MessageLog, AppendsEachLineAsTheNewLastLine) {
    TMessageLogPanel panel;
    panel.AppendSent("3A 30 31 ");
    panel.AppendSent("3A 30 32 ");
    panel.AppendReceived("01 03 02 ");
    EXPECT_EQ(panel.MemoSent()->toPlainText(), "3A 30 31 \n3A 30 32 ");
    EXPECT_EQ(panel.MemoReceived()->toPlainText(), "01 03 02 ");
    EXPECT_EQ(panel.MemoSent()->LineText(1), "3A 30 32 ");
}

TEST(MessageLog, ClearEmptiesBothMemosEvenWhileHidden) {
    TMessageLogPanel panel;
    ASSERT_TRUE(panel.isHidden());
    for (int i = 0; i < 20000; ++i) {
        panel.AppendSent(AsciiRead);
        panel.AppendReceived("01 03 02 13 88 B5 12 ");
    }
    panel.ClearLines();
    EXPECT_EQ(panel.MemoSent()->LineCount(), 0);
    EXPECT_EQ(panel.MemoReceived()->LineCount(), 0);
    EXPECT_TRUE(panel.MemoSent()->toPlainText().isEmpty());
    panel.AppendSent("c");
    EXPECT_EQ(panel.MemoSent()->toPlainText(), "c") << "logging goes on after a clear";
}

TEST(MessageLog, FollowsNewLinesAtTheTwoMsTickOnlyWhileAtTheBottom) {
    TFrameMemo memo;
    memo.resize(311, 201);
    memo.show();
    int counter = 0;
    AppendAtTwoMsTick(memo, 150, counter);
    QScrollBar* bar = memo.verticalScrollBar();
    EXPECT_EQ(bar->maximum(), memo.LineCount() - memo.VisibleRows());
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(memo.LineText(memo.TopLine() + memo.VisibleRows() - 1),
              QStringLiteral("line %1").arg(counter - 1))
        << "the newest line is the bottom row";

    bar->setValue(10); // the operator reads old lines
    EXPECT_FALSE(memo.FollowsNewLines());
    AppendAtTwoMsTick(memo, 150, counter);
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(memo.LineText(memo.TopLine()), "line 10") << "the view stays where it was put";
    EXPECT_EQ(bar->maximum(), memo.LineCount() - memo.VisibleRows());

    bar->setValue(bar->maximum()); // back at the bottom: following again
    AppendAtTwoMsTick(memo, 50, counter);
    EXPECT_TRUE(memo.FollowsNewLines());
    EXPECT_EQ(bar->value(), bar->maximum());
}

// Appends "line <from>" … "line <to - 1>".
void AppendNumbered(TFrameMemo& memo, int from, int to) {
    for (int i = from; i < to; ++i) {
        memo.AppendLine("line " + std::to_string(i));
    }
}

// A scrolled-up view keeps its lines while the oldest are dropped. Within the frame before the
// view catches up with a drop, the scroll bar still counts from the old first line: a step
// then moves the view by one line, not by the pages dropped.
TEST(MessageLog, ScrolledUpViewKeepsItsLinesWhileTheOldestAreDropped) {
    TFrameMemo memo(nullptr, 5000);
    memo.resize(311, 201);
    memo.show();
    AppendNumbered(memo, 0, 5000);
    memo.SyncView();
    QScrollBar* bar = memo.verticalScrollBar();
    bar->setValue(4500);
    ASSERT_EQ(memo.LineText(memo.TopLine()), "line 4500");
    AppendNumbered(memo, 5000, 12000);
    ASSERT_GT(memo.Store().FirstSeq(), 0U) << "old pages were dropped";
    ASSERT_TRUE(memo.SyncPending()) << "the view has not caught up yet";
    EXPECT_EQ(memo.LineText(memo.TopLine()), "line 4500");

    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(memo.LineText(memo.TopLine()), "line 4501");
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    const QString paged = QStringLiteral("line %1").arg(4501 + memo.VisibleRows());
    EXPECT_EQ(memo.LineText(memo.TopLine()), paged);
    EXPECT_FALSE(memo.FollowsNewLines());
    memo.SyncView();
    EXPECT_EQ(memo.LineText(memo.TopLine()), paged) << "and it stays there";
    EXPECT_EQ(bar->value(), memo.TopLine()) << "the thumb moves up as older lines go";
}

// A selection whose lines have all been dropped copies nothing: what the operator had on the
// clipboard stays. One with some lines left copies those.
TEST(MessageLog, CopyingASelectionWhoseLinesWereDroppedLeavesTheClipboardAlone) {
    TFrameMemo memo(nullptr, 5000);
    AppendNumbered(memo, 0, 5000);
    memo.SelectLines(10, 20);
    ASSERT_TRUE(memo.HasSelection());
    AppendNumbered(memo, 5000, 9200);
    ASSERT_GT(memo.Store().FirstSeq(), 20U);
    QApplication::clipboard()->setText(QStringLiteral("kept"));
    memo.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_FALSE(memo.HasSelection());
    std::unique_ptr<QMenu> menu(memo.CreateContextMenu());
    EXPECT_FALSE(menu->actions()[0]->isEnabled()) << "nothing left to copy";

    // Across the end of the oldest page: once it is dropped, its part of the selection goes.
    const int first = static_cast<int>(memo.Store().FirstSeq());
    const int pageEnd = static_cast<int>(TFrameStore::PageLines);
    memo.SelectLines(pageEnd - 3, pageEnd + 1);
    AppendNumbered(memo, 9200, 13200);
    ASSERT_EQ(static_cast<int>(memo.Store().FirstSeq()), first + pageEnd);
    memo.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("line %1\nline %2").arg(first + pageEnd).arg(first + pageEnd + 1));
}

TEST(MessageLog, ScrollBarShowsThePlaceInTheWholeLog) {
    TFrameMemo memo;
    memo.resize(311, 201);
    memo.show();
    constexpr int lines = 200000;
    for (int i = 0; i < lines; ++i) {
        memo.AppendLine("line " + std::to_string(i));
    }
    memo.SyncView();
    QScrollBar* bar = memo.verticalScrollBar();
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), lines - memo.VisibleRows());
    EXPECT_EQ(bar->pageStep(), memo.VisibleRows());
    bar->setValue(bar->maximum() / 2);
    EXPECT_EQ(memo.TopLine(), bar->maximum() / 2);
    EXPECT_EQ(memo.LineText(memo.TopLine()), QStringLiteral("line %1").arg(bar->maximum() / 2));
}

TEST(MessageLog, SelectedLinesAreCopiedInTheirDumpForm) {
    TFrameMemo memo;
    memo.resize(311, 201);
    memo.show();
    memo.AppendLine(AsciiRead);
    memo.AppendLine("01 03 02 00 00 ");
    memo.AppendLine("00 ");
    memo.SyncView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));

    QApplication::clipboard()->clear();
    QTest::mouseClick(memo.viewport(), Qt::LeftButton, {}, QPoint(20, 3)); // the top row
    EXPECT_EQ(memo.SelectedText(), AsciiRead);
    QTest::mouseClick(memo.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(20, 3 + memo.fontMetrics().lineSpacing()));
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromLatin1(AsciiRead) + "\n01 03 02 00 00 ");

    QTest::keyClick(&memo, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(memo.SelectedText(), QString::fromLatin1(AsciiRead) + "\n01 03 02 00 00 \n00 ");
}

TEST(MessageLog, ContextMenuCopiesInHungarian) {
    TFrameMemo memo;
    memo.AppendLine("01 06 F5 10 13 88 ");
    std::unique_ptr<QMenu> empty(memo.CreateContextMenu());
    ASSERT_EQ(empty->actions().size(), 2);
    EXPECT_EQ(empty->actions()[0]->text(), QString::fromUtf8("Másolás"));
    EXPECT_FALSE(empty->actions()[0]->isEnabled()) << "nothing selected yet";
    EXPECT_EQ(empty->actions()[1]->text(), QString::fromUtf8("Az összes kijelölése"));

    empty->actions()[1]->trigger();
    std::unique_ptr<QMenu> menu(memo.CreateContextMenu());
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    QApplication::clipboard()->clear();
    menu->actions()[0]->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "01 06 F5 10 13 88 ");
}

TEST(MessageLog, DrawsTheRowsInView) {
    TFrameMemo memo;
    memo.resize(311, 201);
    memo.AppendLine(AsciiRead);
    memo.SyncView();
    const QImage blank = memo.viewport()->grab().toImage();
    memo.AppendLine(AsciiRead);
    memo.SyncView();
    const QImage image = memo.viewport()->grab().toImage();
    const int row = memo.fontMetrics().lineSpacing();
    auto inkRows = [](const QImage& img, int top, int bottom) {
        int ink = 0;
        const QRgb background = img.pixel(img.width() - 2, img.height() - 2);
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < img.width(); ++x) {
                ink += img.pixel(x, y) != background ? 1 : 0;
            }
        }
        return ink;
    };
    EXPECT_GT(inkRows(blank, 0, row), 50) << "first line drawn";
    EXPECT_EQ(inkRows(blank, row, 2 * row), 0) << "no second line yet";
    EXPECT_GT(inkRows(image, row, 2 * row), 50) << "second line drawn";
}

TEST(MessageLog, LayoutMatchesTheWindow) {
    QWidget window;
    window.setFont(ConsoleFont());
    auto* panel = new TMessageLogPanel(&window);
    EXPECT_EQ(panel->objectName(), "Panel_Messages");
    EXPECT_EQ(panel->size(), QSize(646, 236));
    EXPECT_EQ(panel->MemoSent()->objectName(), "Memo_Sent");
    EXPECT_EQ(panel->MemoSent()->geometry(), QRect(10, 25, 311, 201));
    EXPECT_EQ(panel->MemoReceived()->objectName(), "Memo_Received");
    EXPECT_EQ(panel->MemoReceived()->geometry(), QRect(325, 25, 311, 201));
    for (TFrameMemo* memo : {panel->MemoSent(), panel->MemoReceived()}) {
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    auto* sent = panel->findChild<QLabel*>("Label_Sent");
    auto* received = panel->findChild<QLabel*>("Label_Received");
    ASSERT_NE(sent, nullptr);
    ASSERT_NE(received, nullptr);
    EXPECT_EQ(sent->text(), QString::fromUtf8("Küldött üzenetek:"));
    EXPECT_EQ(sent->pos(), QPoint(10, 10));
    EXPECT_EQ(received->text(), QString::fromUtf8("Fogadott üzenetek:"));
    EXPECT_EQ(received->pos(), QPoint(325, 10));
    EXPECT_LE(sent->geometry().bottom(), 25) << "label overlaps its memo";
}

} // namespace
} // namespace quorvel
