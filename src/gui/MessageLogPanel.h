// Message log panel: frames sent and received as hex dump lines in two read-only memos, each
// keeping at least its newest TFrameStore::DefaultCapacity lines in bounded memory.
// GUI thread only; the panel owns its labels and memos.
#pragma once

#include "FrameMemo.h"

#include <QFrame>
#include <QString>

#include <cstdint>
#include <span>
#include <string_view>

namespace quorvel {

class TMessageLogPanel : public QFrame {
    Q_OBJECT

  public:
    explicit TMessageLogPanel(QWidget* parent = nullptr);

    void AppendSent(std::string_view line);
    void AppendReceived(std::string_view line);
    void AppendSent(const QString& line);
    void AppendReceived(const QString& line);
    void AppendSentFrame(std::span<const std::uint8_t> frame) { Memo_Sent->AppendFrame(frame); }
    void AppendReceivedFrame(std::span<const std::uint8_t> frame) {
        Memo_Received->AppendFrame(frame);
    }
    void AppendSent(const char* line) { AppendSent(std::string_view(line)); }
    void AppendReceived(const char* line) { AppendReceived(std::string_view(line)); }
    // Empties Memo_Sent, then Memo_Received.
    void ClearLines();

    TFrameMemo* MemoSent() const { return Memo_Sent; }
    TFrameMemo* MemoReceived() const { return Memo_Received; }

  private:
    TFrameMemo* Memo_Sent;
    TFrameMemo* Memo_Received;
};

} // namespace quorvel
