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
void SetIfChanged(QLineEdit* edit, const std::string& text) {
    const QString value = Text(text);
    if (edit->text() != value) {
        edit->setText(value);
    }
}

} // namespace

void TWindowEngineView::SetCounterText(CounterBox box, const std::string& text) {
    QLineEdit* edit = nullptr;
    switch (box) {
    case CounterBox::SentMessage:
        edit = Window.Edit_SentMessage;
        break;
    case CounterBox::RecMessage:
        edit = Window.Edit_RecMessage;
        break;
    case CounterBox::NoAnswer:
        edit = Window.Edit_NoAnswer;
        break;
    case CounterBox::ErrorMessage:
        edit = Window.Edit_ErrorMessage;
        break;
    case CounterBox::Error:
        edit = Window.Edit_Error;
        break;
    }
    SetIfChanged(edit, text);
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
    SetIfChanged(edit, text);
}

void TWindowEngineView::SetVirtualInputText(int input, const std::string& text) {
    if (input >= 1 && input <= 6) {
        SetIfChanged(Window.Edit_VirtualInput[static_cast<std::size_t>(input - 1)], text);
    }
}

void TWindowEngineView::SetVirtualInputButtons(std::uint8_t bits) {
    for (std::size_t k = 0; k < Window.Bt_VirtualInput.size(); ++k) {
        Window.Bt_VirtualInput[k]->setChecked(((bits >> k) & 1U) != 0);
    }
}

void TWindowEngineView::SetMarkerTop(Marker marker, int top) {
    QWidget* shape = marker == Marker::Query ? Window.Shape_Query : Window.Shape_Set;
    shape->move(shape->x(), top);
}

void TWindowEngineView::SetMarkerVisible(Marker marker, bool visible) {
    QWidget* shape = marker == Marker::Query ? Window.Shape_Query : Window.Shape_Set;
    shape->setVisible(visible);
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
