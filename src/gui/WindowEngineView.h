// The polling engine's view of Form_Quorvel: value and counter boxes, markers, the virtual input
// buttons, the log memos and the chart. Borrowed by the engine; GUI thread only.
// Counter texts and marker moves of a shown window reach their widgets at the next repaint
// (ShowPending), not at every tick: whenever the window is drawn it shows the latest tick.
#pragma once

#include "EngineView.h"

#include <QString>

#include <array>
#include <optional>
#include <string>

class QLineEdit;
class QWidget;

namespace quorvel {

class TForm_Quorvel;

class TWindowEngineView : public IEngineView {
  public:
    explicit TWindowEngineView(TForm_Quorvel& window) : Window(window) {}

    void SetCounterText(CounterBox box, const std::string& text) override;
    void SetValueText(ValueBox box, const std::string& text) override;
    void SetVirtualInputText(int input, const std::string& text) override;
    void SetVirtualInputButtons(std::uint8_t bits) override;
    void SetMarkerTop(Marker marker, int top) override;
    void SetMarkerVisible(Marker marker, bool visible) override;
    bool MessagesDown() const override;
    bool DiagramDown() const override;
    void AppendSentLine(const std::string& line) override;
    void AppendReceivedLine(const std::string& line) override;
    void AddChartPoint() override;

    void ShowPending();

  private:
    struct TPendingText {
        std::optional<std::string> Given; // the engine's last text for the box, shown or pending
        QString Text;
        bool Pending = false;
    };
    struct TPendingTop {
        int Top = 0;
        bool Pending = false;
    };

    QLineEdit* CounterEdit(CounterBox box) const;
    QWidget* MarkerShape(Marker marker) const;
    void MoveMarker(Marker marker);

    TForm_Quorvel& Window;
    std::array<TPendingText, 5> Counters;
    std::array<TPendingTop, 2> Markers;
};

} // namespace quorvel
