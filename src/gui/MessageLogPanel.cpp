#include "MessageLogPanel.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace quorvel {

namespace {

constexpr QSize PanelSize(646, 236);
constexpr QSize MemoSize(311, 201);
constexpr QSize LabelSize(300, 15);

QPlainTextEdit* MakeMemo(const QString& name, QPoint pos, QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false); // an undo history would keep every dropped line alive
    memo->setMaximumBlockCount(TMessageLogPanel::MaxLines);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // long dumps wrap instead
    memo->setGeometry(QRect(pos, MemoSize));
    return memo;
}

void MakeLabel(const QString& name, const QString& text, QPoint pos, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    // Fixed room rather than the text's size now: the window may change the font later.
    label->setGeometry(QRect(pos, LabelSize));
}

} // namespace

TMessageLogPanel::TMessageLogPanel(QWidget* parent)
    : QFrame(parent), Memo_Sent(MakeMemo(QStringLiteral("Memo_Sent"), {10, 25}, this)),
      Memo_Received(MakeMemo(QStringLiteral("Memo_Received"), {325, 25}, this)) {
    setObjectName(QStringLiteral("Panel_Messages"));
    setFrameStyle(QFrame::Box | QFrame::Sunken); // lowered outer, raised inner line
    setLineWidth(1);
    setFixedSize(PanelSize);
    MakeLabel(QStringLiteral("Label_Sent"), QStringLiteral("Küldött üzenetek:"), {10, 10}, this);
    MakeLabel(QStringLiteral("Label_Received"), QStringLiteral("Fogadott üzenetek:"), {325, 10},
              this);
    hide();
}

void TMessageLogPanel::AppendSent(const QString& line) {
    Memo_Sent->appendPlainText(line); // the view follows unless the operator scrolled up
}

void TMessageLogPanel::AppendReceived(const QString& line) {
    Memo_Received->appendPlainText(line);
}

void TMessageLogPanel::ClearLines() {
    Memo_Sent->clear();
    Memo_Received->clear();
}

} // namespace quorvel
