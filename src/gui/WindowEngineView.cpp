#include "WindowEngineView.h"

#include "DiagramPanel.h"
#include "MainWindow.h"
#include "MessageLogPanel.h"
#include "ShapeMarker.h"

#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

namespace quorvel {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// Most ticks rewrite a box with the text it already shows; only a change costs a new layout.
void SetIfChanged(QLineEdit* edit, const QString& value) {
    if (edit->text() != value) {
        edit->setText(value);
    }
}

} // namespace

QLineEdit* TWindowEngineView::CounterEdit(CounterBox box) const {
    switch (box) {
    case CounterBox::SentMessage:
        return Window.Edit_SentMessage;
    case CounterBox::RecMessage:
        return Window.Edit_RecMessage;
    case CounterBox::NoAnswer:
        return Window.Edit_NoAnswer;
    case CounterBox::ErrorMessage:
        return Window.Edit_ErrorMessage;
    case CounterBox::Error:
        break;
    }
    return Window.Edit_Error;
}

// At the 2 ms tick a box changes up to eight times a frame; only the last text is ever seen.
// A hidden window is not repainted, so its boxes take the text at once. A box the operator has
// typed into takes the count again at the next tick, as every tick writes it.
void TWindowEngineView::SetCounterText(CounterBox box, const std::string& text) {
    QLineEdit* edit = CounterEdit(box);
    TPendingText& slot = Counters[static_cast<std::size_t>(box)];
    if (slot.Given == text && (slot.Pending || !edit->isModified())) {
        return;
    }
    slot.Given = text;
    slot.Text = Text(text);
    if (!edit->isVisible()) {
        slot.Pending = false;
        SetIfChanged(edit, slot.Text);
        return;
    }
    if (!slot.Pending) {
        slot.Pending = true;
        edit->update(); // asks for the repaint that brings the text
    }
}

void TWindowEngineView::ShowPending() {
    for (std::size_t k = 0; k < Counters.size(); ++k) {
        TPendingText& slot = Counters[k];
        if (slot.Pending) {
            slot.Pending = false;
            SetIfChanged(CounterEdit(static_cast<CounterBox>(k)), slot.Text);
        }
    }
    MoveMarker(Marker::Query);
    MoveMarker(Marker::Set);
}

void TWindowEngineView::SetValueText(ValueBox box, const std::string& text) {
    QLineEdit* edit = nullptr;
    switch (box) {
    case ValueBox::Frequency:
        edit = Window.Edit_Frequency;
        break;
    case ValueBox::MotorCurrent:
        edit = Window.Edit_MotorCurrent;
        break;
    case ValueBox::ControlRefSignal:
        edit = Window.Edit_ControlRefSignal;
        break;
    }
    SetIfChanged(edit, Text(text));
}

void TWindowEngineView::SetVirtualInputText(int input, const std::string& text) {
    if (input >= 1 && input <= 6) {
        SetIfChanged(Window.Edit_VirtualInput[static_cast<std::size_t>(input - 1)], Text(text));
    }
}

void TWindowEngineView::SetVirtualInputButtons(std::uint8_t bits) {
    for (std::size_t k = 0; k < Window.Bt_VirtualInput.size(); ++k) {
        Window.Bt_VirtualInput[k]->setChecked(((bits >> k) & 1U) != 0);
    }
}

QWidget* TWindowEngineView::MarkerShape(Marker marker) const {
    return marker == Marker::Query ? Window.Shape_Query : Window.Shape_Set;
}

void TWindowEngineView::MoveMarker(Marker marker) {
    TPendingTop& slot = Markers[static_cast<std::size_t>(marker)];
    if (slot.Pending) {
        slot.Pending = false;
        QWidget* shape = MarkerShape(marker);
        if (shape->y() != slot.Top) {
            shape->move(shape->x(), slot.Top);
        }
    }
}

// A shown marker moves with the repaint, like the counters: at the 2 ms tick it would otherwise
// move up to eight times for every time it is drawn.
void TWindowEngineView::SetMarkerTop(Marker marker, int top) {
    TPendingTop& slot = Markers[static_cast<std::size_t>(marker)];
    slot.Top = top;
    QWidget* shape = MarkerShape(marker);
    if (!shape->isVisible()) {
        slot.Pending = true;
        MoveMarker(marker);
        return;
    }
    if (!slot.Pending && shape->y() != top) {
        slot.Pending = true;
        shape->update(); // asks for the repaint that brings the move
    }
}

void TWindowEngineView::SetMarkerVisible(Marker marker, bool visible) {
    QWidget* shape = MarkerShape(marker);
    if (shape->isVisibleTo(shape->parentWidget()) != visible) {
        MoveMarker(marker); // shown or hidden where the engine last put it
        shape->setVisible(visible);
    }
}

bool TWindowEngineView::MessagesDown() const {
    return Window.Bt_Messages->isChecked();
}

bool TWindowEngineView::DiagramDown() const {
    return Window.Bt_Diagram->isChecked();
}

void TWindowEngineView::AppendSentLine(const std::string& line) {
    Window.Panel_Messages->AppendSent(std::string_view(line));
}

void TWindowEngineView::AppendReceivedLine(const std::string& line) {
    Window.Panel_Messages->AppendReceived(std::string_view(line));
}

void TWindowEngineView::AddChartPoint() {
    Window.Panel_Diagram->AddChartPoint(Window.Edit_Frequency->text(), QLocale());
}

} // namespace quorvel
