#include "WindowEngineView.h"

#include "DiagramPanel.h"
#include "FrameRefresh.h"
#include "MessageLogPanel.h"

#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

namespace quorvel {

namespace {

// Most replies rewrite a box with the text it already shows; only a change costs a new layout.
void SetIfChanged(QLineEdit* edit, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (edit->text() != value) {
        edit->setText(value);
    }
}

} // namespace

// At the 2 ms tick a box changes up to eight times a frame; only the last text is ever seen.
void TWindowEngineView::SetCounterText(CounterBox box, const std::string& text) {
    Refresh.SetText(Widgets.Counters[static_cast<std::size_t>(box)], text);
}

void TWindowEngineView::SetValueText(ValueBox box, const std::string& text) {
    SetIfChanged(Widgets.Values[static_cast<std::size_t>(box)], text);
}

void TWindowEngineView::SetVirtualInputText(int input, const std::string& text) {
    if (input >= 1 && input <= 6) {
        SetIfChanged(Widgets.VirtualInputs[static_cast<std::size_t>(input - 1)], text);
    }
}

void TWindowEngineView::SetVirtualInputButtons(std::uint8_t bits) {
    for (std::size_t k = 0; k < Widgets.VirtualInputButtons.size(); ++k) {
        Widgets.VirtualInputButtons[k]->setChecked(((bits >> k) & 1U) != 0);
    }
}

QWidget* TWindowEngineView::MarkerShape(Marker marker) const {
    return Widgets.Markers[static_cast<std::size_t>(marker)];
}

// A shown marker moves with the frame, like the counters: at the 2 ms tick it would otherwise
// move up to eight times for every time it is drawn.
void TWindowEngineView::SetMarkerTop(Marker marker, int top) {
    Refresh.SetTop(MarkerShape(marker), top);
}

void TWindowEngineView::SetMarkerVisible(Marker marker, bool visible) {
    QWidget* shape = MarkerShape(marker);
    if (shape->isVisibleTo(shape->parentWidget()) != visible) {
        Refresh.MoveNow(shape); // shown or hidden where the engine last put it
        shape->setVisible(visible);
    }
}

bool TWindowEngineView::MessagesDown() const {
    return Widgets.Messages->isChecked();
}

bool TWindowEngineView::DiagramDown() const {
    return Widgets.Diagram->isChecked();
}

void TWindowEngineView::AppendSentFrame(ByteView frame) {
    Widgets.Log->AppendSentFrame(frame);
}

void TWindowEngineView::AppendReceivedFrame(ByteView frame) {
    Widgets.Log->AppendReceivedFrame(frame);
}

void TWindowEngineView::AddChartPoint() {
    const QLineEdit* frequency = Widgets.Values[static_cast<std::size_t>(ValueBox::Frequency)];
    Widgets.Chart->AddChartPoint(frequency->text(), QLocale());
}

} // namespace quorvel
