// Read-only memo of message log lines over a TFrameStore: draws only the rows in view, follows
// new lines while it is at the bottom, keeps its place while scrolled up, and lets the operator
// select whole lines and copy them as text. Scroll bar and repaint catch up with appended lines
// once per display frame. GUI thread only.
#pragma once

#include "FrameStore.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <span>
#include <string_view>

class QMenu;

namespace quorvel {

class TFrameMemo : public QAbstractScrollArea {
    Q_OBJECT

  public:
    static constexpr int FrameMs = 16;

    explicit TFrameMemo(QWidget* parent = nullptr,
                        std::size_t capacity = TFrameStore::DefaultCapacity);

    void AppendLine(std::string_view line);
    void AppendFrame(std::span<const std::uint8_t> frame);
    void Clear();

    const TFrameStore& Store() const { return Lines; }
    int LineCount() const { return static_cast<int>(Lines.LineCount()); }
    QString LineText(int index) const;
    // The selected lines, oldest first, joined by line feeds: what Ctrl+C copies.
    QString SelectedText() const;
    // Whether any selected line is still kept: the oldest lines may have been dropped.
    bool HasSelection() const;
    void SelectLines(int first, int last); // indices into the lines kept; clamped
    void SelectAll();
    void CopySelection() const;
    bool FollowsNewLines() const { return Following; }
    int TopLine() const; // index of the line in the top row
    int VisibleRows() const;
    // Brings the scroll bar and the view up to date now instead of at the next frame.
    void SyncView();
    bool SyncPending() const { return SyncTimer.isActive(); }
    // The whole log as one text, lines joined by line feeds; for tests and small logs.
    QString toPlainText() const;
    int blockCount() const { return LineCount(); } // as a memo's line count

    QMenu* CreateContextMenu(); // the context menu's actions, owned by the caller

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    int RowHeight() const;
    int LineAt(int y) const; // -1 below the last line
    void ScheduleSync();

    TFrameStore Lines;
    QTimer SyncTimer;
    bool Following = true;
    bool Syncing = false;
    std::uint64_t TopSeq = 0;
    // The first line's sequence number when the scroll bar was last set: its values count from
    // there until the next sync, also while older lines are dropped in between.
    std::uint64_t BarBase = 0;
    // Selection as sequence numbers, so it stays on its lines while older ones are dropped.
    std::int64_t Anchor = -1;
    std::int64_t Caret = -1;
};

} // namespace quorvel
