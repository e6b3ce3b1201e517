// The polling engine's view of Form_Quorvel: value and counter boxes, markers, the virtual input
// buttons, the log memos and the chart. Borrowed by the engine; GUI thread only.
// Counter texts of a shown window reach their boxes at the next repaint (ShowPendingCounters),
// not at every tick: a box shows the latest tick's count whenever it is drawn.
#pragma once

#include "EngineView.h"

#include <QString>

#include <array>

class QLineEdit;

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

    void ShowPendingCounters();

  private:
    struct TPendingText {
        QString Text;
        bool Pending = false;
    };

    QLineEdit* CounterEdit(CounterBox box) const;

    TForm_Quorvel& Window;
    std::array<TPendingText, 5> Counters;
};

} // namespace quorvel
