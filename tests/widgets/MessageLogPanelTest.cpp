#include "MessageLogPanel.h"
#include "GuiFont.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

QString FirstLine(const QPlainTextEdit* memo) {
    return memo->document()->firstBlock().text();
}
QString LastLine(const QPlainTextEdit* memo) {
    return memo->document()->lastBlock().text();
}

TEST(MessageLog, AppendsEachLineAsTheNewLastLine) {
    TMessageLogPanel panel;
    panel.AppendSent("3A 30 31 ");
    panel.AppendSent("3A 30 32 ");
    panel.AppendReceived("01 03 02 ");
    EXPECT_EQ(panel.MemoSent()->toPlainText(), "3A 30 31 \n3A 30 32 ");
    EXPECT_EQ(panel.MemoReceived()->toPlainText(), "01 03 02 ");
}

TEST(MessageLog, EachMemoKeepsOnlyTheNewestLines) {
    TMessageLogPanel panel;
    constexpr int extra = 25;
    for (int i = 0; i < TMessageLogPanel::MaxLines + extra; ++i) {
        panel.AppendSent(QStringLiteral("sent %1").arg(i));
    }
    panel.AppendReceived("only");
    EXPECT_EQ(panel.MemoSent()->document()->blockCount(), TMessageLogPanel::MaxLines);
    EXPECT_EQ(FirstLine(panel.MemoSent()), QStringLiteral("sent %1").arg(extra));
    EXPECT_EQ(LastLine(panel.MemoSent()),
              QStringLiteral("sent %1").arg(TMessageLogPanel::MaxLines + extra - 1));
    EXPECT_EQ(panel.MemoReceived()->document()->blockCount(), 1);
}

TEST(MessageLog, ClearEmptiesBothMemosEvenWhileHidden) {
    TMessageLogPanel panel;
    ASSERT_TRUE(panel.isHidden());
    panel.AppendSent("a");
    panel.AppendReceived("b");
    panel.ClearLines();
    EXPECT_TRUE(panel.MemoSent()->toPlainText().isEmpty());
    EXPECT_TRUE(panel.MemoReceived()->toPlainText().isEmpty());
    panel.AppendSent("c");
    EXPECT_EQ(panel.MemoSent()->toPlainText(), "c") << "logging goes on after a clear";
}

TEST(MessageLog, ViewFollowsNewLinesUnlessScrolledUp) {
    TMessageLogPanel panel;
    panel.show();
    QScrollBar* bar = panel.MemoSent()->verticalScrollBar();
    for (int i = 0; i < 200; ++i) {
        panel.AppendSent(QStringLiteral("line %1").arg(i));
        QApplication::processEvents();
    }
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0); // the operator reads old lines
    for (int i = 0; i < 20; ++i) {
        panel.AppendSent("more");
        QApplication::processEvents();
    }
    EXPECT_EQ(bar->value(), 0);
}

TEST(MessageLog, OperatorCannotEditAndNoUndoHistoryGrows) {
    TMessageLogPanel panel;
    for (QPlainTextEdit* memo : {panel.MemoSent(), panel.MemoReceived()}) {
        EXPECT_TRUE(memo->isReadOnly());
        EXPECT_FALSE(memo->isUndoRedoEnabled());
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
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
