// The polling engine's view of Form_Quorvel: writes the value and counter boxes, the markers,
// the virtual input buttons, the log and the chart given by TEngineWidgets. Borrowed by the
// engine; GUI thread only. Counter texts and marker moves go through the window's frame
// refresh: whenever the window is drawn it shows the latest tick, however often ticks come.
#pragma once

#include "EngineView.h"

#include <array>

class QLineEdit;
class QPushButton;
class QWidget;

namespace quorvel {

class TDiagramPanel;
class TFrameRefresh;
class TMessageLogPanel;

// The window's widgets the engine writes or reads; borrowed, they outlive the view.
struct TEngineWidgets {
    std::array<QLineEdit*, 5> Counters{}; // by CounterBox
    std::array<QLineEdit*, 3> Values{};   // by ValueBox
    std::array<QLineEdit*, 6> VirtualInputs{};
    std::array<QPushButton*, 6> VirtualInputButtons{};
    std::array<QWidget*, 2> Markers{}; // by Marker
    QPushButton* Messages = nullptr;   // Bt_Messages
    QPushButton* Diagram = nullptr;    // Bt_Diagram
    TMessageLogPanel* Log = nullptr;
    TDiagramPanel* Chart = nullptr;
};

class TWindowEngineView : public IEngineView {
  public:
    TWindowEngineView(const TEngineWidgets& widgets, TFrameRefresh& refresh)
        : Widgets(widgets), Refresh(refresh) {}

    void SetCounterText(CounterBox box, const std::string& text) override;
    void SetValueText(ValueBox box, const std::string& text) override;
    void SetVirtualInputText(int input, const std::string& text) override;
    void SetVirtualInputButtons(std::uint8_t bits) override;
    void SetMarkerTop(Marker marker, int top) override;
    void SetMarkerVisible(Marker marker, bool visible) override;
    bool MessagesDown() const override;
    bool DiagramDown() const override;
    void AppendSentFrame(ByteView frame) override;
    void AppendReceivedFrame(ByteView frame) override;
    void AddChartPoint() override;

  private:
    QWidget* MarkerShape(Marker marker) const;

    TEngineWidgets Widgets;
    TFrameRefresh& Refresh;
};

} // namespace quorvel
