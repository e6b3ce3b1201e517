#include "MessageLogPanel.h"

#include "FrameMemo.h"

#include <QLabel>

namespace quorvel {

namespace {

constexpr QSize PanelSize(646, 236);
constexpr QSize MemoSize(311, 201);
constexpr QSize LabelSize(300, 15);

TFrameMemo* MakeMemo(const QString& name, QPoint pos, QWidget* parent) {
    auto* memo = new TFrameMemo(parent);
    memo->setObjectName(name);
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

void TMessageLogPanel::AppendSent(std::string_view line) {
    Memo_Sent->AppendLine(line); // the view follows unless the operator scrolled up
}

void TMessageLogPanel::AppendReceived(std::string_view line) {
    Memo_Received->AppendLine(line);
}

void TMessageLogPanel::AppendSent(const QString& line) {
    AppendSent(std::string_view(line.toStdString()));
}

void TMessageLogPanel::AppendReceived(const QString& line) {
    AppendReceived(std::string_view(line.toStdString()));
}

void TMessageLogPanel::ClearLines() {
    Memo_Sent->Clear();
    Memo_Received->Clear();
}

} // namespace quorvel
