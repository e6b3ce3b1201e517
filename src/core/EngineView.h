// What the polling engine shows on the operator window; the main window implements it,
// tests use a fake. Called on the main thread only.
#pragma once

#include "ByteString.h"

#include <cstdint>
#include <string>

namespace quorvel {

enum class CounterBox { SentMessage, RecMessage, NoAnswer, ErrorMessage, Error };
enum class ValueBox { Frequency, MotorCurrent, ControlRefSignal };
enum class Marker { Query, Set }; // Shape_Query, Shape_Set

class IEngineView {
  public:
    virtual ~IEngineView() = default;

    virtual void SetCounterText(CounterBox box, const std::string& text) = 0;
    virtual void SetValueText(ValueBox box, const std::string& text) = 0;
    // input is 1 … 6 (Edit_VirtualInput1 … Edit_VirtualInput6).
    virtual void SetVirtualInputText(int input, const std::string& text) = 0;
    // Puts Bt_VirtualInput1 … 6 down for bits 0 … 5 without running their click handler.
    virtual void SetVirtualInputButtons(std::uint8_t bits) = 0;

    virtual void SetMarkerTop(Marker marker, int top) = 0;
    virtual void SetMarkerVisible(Marker marker, bool visible) = 0;

    virtual bool MessagesDown() const = 0; // Bt_Messages
    virtual bool DiagramDown() const = 0;  // Bt_Diagram
    // A frame for Memo_Sent / Memo_Received, as its bytes; the log shows it as FrameDump.
    virtual void AppendSentFrame(ByteView frame) = 0;
    virtual void AppendReceivedFrame(ByteView frame) = 0;
    // Plots the next chart sample from the current text of Edit_Frequency.
    virtual void AddChartPoint() = 0;
};

} // namespace quorvel
