// Message log panel: frames sent and received as hex dump lines in two read-only memos, each
// keeping only its newest MaxLines lines so a long run cannot grow memory without bound.
// GUI thread only; the panel owns its labels and memos.
#pragma once

#include <QFrame>
#include <QString>

class QPlainTextEdit;

namespace quorvel {

class TMessageLogPanel : public QFrame {
    Q_OBJECT

  public:
    static constexpr int MaxLines = 10000;

    explicit TMessageLogPanel(QWidget* parent = nullptr);

    void AppendSent(const QString& line);
    void AppendReceived(const QString& line);
    // Empties Memo_Sent, then Memo_Received.
    void ClearLines();

    QPlainTextEdit* MemoSent() const { return Memo_Sent; }
    QPlainTextEdit* MemoReceived() const { return Memo_Received; }

  private:
    QPlainTextEdit* Memo_Sent;
    QPlainTextEdit* Memo_Received;
};

} // namespace quorvel
