#include "FrameMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace quorvel {

namespace {

constexpr int TextMargin = 4; // left of each row, as a memo's document margin

} // namespace

TFrameMemo::TFrameMemo(QWidget* parent, std::size_t capacity)
    : QAbstractScrollArea(parent), Lines(capacity) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // a long frame is cut at the edge
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    SyncTimer.setSingleShot(true);
    SyncTimer.setInterval(FrameMs);
    connect(&SyncTimer, &QTimer::timeout, this, &TFrameMemo::SyncView);
}

void TFrameMemo::AppendLine(std::string_view line) {
    Lines.Append(line);
    ScheduleSync();
}

void TFrameMemo::AppendFrame(std::span<const std::uint8_t> frame) {
    Lines.AppendFrame(frame);
    ScheduleSync();
}

void TFrameMemo::Clear() {
    Lines.Clear();
    Anchor = -1;
    Caret = -1;
    Following = true;
    SyncView();
}

void TFrameMemo::ScheduleSync() {
    if (!SyncTimer.isActive()) {
        SyncTimer.start();
    }
}

int TFrameMemo::RowHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int TFrameMemo::VisibleRows() const {
    return std::max(1, viewport()->height() / RowHeight());
}

int TFrameMemo::TopLine() const {
    const std::uint64_t first = Lines.FirstSeq();
    return TopSeq <= first ? 0 : static_cast<int>(TopSeq - first);
}

void TFrameMemo::SyncView() {
    SyncTimer.stop();
    const int count = LineCount();
    const int maximum = std::max(0, count - VisibleRows());
    Syncing = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(VisibleRows());
    bar->setSingleStep(1);
    bar->setRange(0, maximum);
    const int top = Following ? maximum : std::min(TopLine(), maximum);
    bar->setValue(top);
    BarBase = Lines.FirstSeq();
    TopSeq = BarBase + static_cast<std::uint64_t>(top);
    Syncing = false;
    viewport()->update();
}

void TFrameMemo::scrollContentsBy(int, int) {
    if (!Syncing) {
        // The operator moved the view: it follows again only once back at the bottom.
        QScrollBar* bar = verticalScrollBar();
        TopSeq = BarBase + static_cast<std::uint64_t>(bar->value());
        Following = bar->value() >= bar->maximum();
    }
    viewport()->update();
}

void TFrameMemo::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SyncView();
}

QString TFrameMemo::LineText(int index) const {
    if (index < 0 || index >= LineCount()) {
        return {};
    }
    return QString::fromStdString(Lines.Line(static_cast<std::size_t>(index)));
}

void TFrameMemo::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const int rowHeight = RowHeight();
    const int top = TopLine();
    const int rows = viewport()->height() / rowHeight + 1;
    const int ascent = fontMetrics().ascent();
    const std::int64_t first = static_cast<std::int64_t>(Lines.FirstSeq());
    const std::int64_t selFirst = std::min(Anchor, Caret);
    const std::int64_t selLast = std::max(Anchor, Caret);
    for (int row = 0; row < rows && top + row < LineCount(); ++row) {
        const int index = top + row;
        const QRect rect(0, row * rowHeight, viewport()->width(), rowHeight);
        const bool selected = Anchor >= 0 && first + index >= selFirst && first + index <= selLast;
        if (selected) {
            painter.fillRect(rect, palette().brush(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(QPalette::Text));
        }
        painter.drawText(TextMargin, rect.top() + ascent, LineText(index));
    }
}

int TFrameMemo::LineAt(int y) const {
    const int index = TopLine() + std::max(0, y) / RowHeight();
    return index < LineCount() ? index : -1;
}

void TFrameMemo::SelectLines(int first, int last) {
    const int count = LineCount();
    if (count == 0) {
        Anchor = Caret = -1;
        return;
    }
    const auto base = static_cast<std::int64_t>(Lines.FirstSeq());
    Anchor = base + std::clamp(first, 0, count - 1);
    Caret = base + std::clamp(last, 0, count - 1);
    viewport()->update();
}

void TFrameMemo::SelectAll() {
    SelectLines(0, LineCount() - 1);
}

bool TFrameMemo::HasSelection() const {
    return Anchor >= 0 && static_cast<std::uint64_t>(std::max(Anchor, Caret)) >= Lines.FirstSeq();
}

QString TFrameMemo::SelectedText() const {
    if (!HasSelection()) {
        return {};
    }
    const auto base = static_cast<std::int64_t>(Lines.FirstSeq());
    const std::int64_t first = std::max(std::min(Anchor, Caret), base) - base;
    const std::int64_t last = std::max(Anchor, Caret) - base;
    std::string text;
    for (std::int64_t i = first; i <= last && i < LineCount(); ++i) {
        if (i != first) {
            text += '\n';
        }
        text += Lines.Line(static_cast<std::size_t>(i));
    }
    return QString::fromStdString(text);
}

void TFrameMemo::CopySelection() const {
    if (HasSelection()) {
        QApplication::clipboard()->setText(SelectedText());
    }
}

QString TFrameMemo::toPlainText() const {
    std::string text;
    for (std::size_t i = 0; i < Lines.LineCount(); ++i) {
        if (i != 0) {
            text += '\n';
        }
        text += Lines.Line(i);
    }
    return QString::fromStdString(text);
}

void TFrameMemo::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int index = LineAt(event->position().toPoint().y());
    if (index < 0) {
        Anchor = Caret = -1;
    } else if ((event->modifiers() & Qt::ShiftModifier) && Anchor >= 0) {
        Caret = static_cast<std::int64_t>(Lines.FirstSeq()) + index;
    } else {
        SelectLines(index, index);
    }
    viewport()->update();
}

void TFrameMemo::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && Anchor >= 0) {
        const int index = LineAt(event->position().toPoint().y());
        Caret = static_cast<std::int64_t>(Lines.FirstSeq()) + (index < 0 ? LineCount() - 1 : index);
        viewport()->update();
    }
}

void TFrameMemo::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
    } else if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

QMenu* TFrameMemo::CreateContextMenu() {
    auto* menu = new QMenu(this);
    QAction* copy = menu->addAction(QStringLiteral("Másolás"), this, &TFrameMemo::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(HasSelection());
    QAction* all =
        menu->addAction(QStringLiteral("Az összes kijelölése"), this, &TFrameMemo::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(LineCount() > 0);
    return menu;
}

void TFrameMemo::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace quorvel
