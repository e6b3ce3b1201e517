// Recording stand-ins for the operator window, the serial link and the clock, for engine
// scenario tests. Single-threaded; everything is kept in public fields for the assertions.
#pragma once

#include "EngineView.h"
#include "FrameWriter.h"
#include "MonotonicClock.h"
#include "Wait4msg.h"

#include <array>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::testing {

class FakeView : public IEngineView {
  public:
    void SetCounterText(CounterBox box, const std::string& text) override {
        Counters[box] = text;
        ++CounterRefreshes;
    }
    void SetValueText(ValueBox box, const std::string& text) override {
        Values[box] = text;
        ValueHistory.emplace_back(box, text);
    }
    void SetVirtualInputText(int input, const std::string& text) override {
        VirtualInputTexts.at(static_cast<std::size_t>(input - 1)) = text;
    }
    void SetVirtualInputButtons(std::uint8_t bits) override { ButtonSyncs.push_back(bits); }
    void SetMarkerTop(Marker marker, int top) override { MarkerTop[marker] = top; }
    void SetMarkerVisible(Marker marker, bool visible) override { MarkerShown[marker] = visible; }
    bool MessagesDown() const override { return Messages; }
    bool DiagramDown() const override { return Diagram; }
    void AppendSentFrame(ByteView frame) override { SentLines.push_back(FrameDump(frame)); }
    void AppendReceivedFrame(ByteView frame) override { ReceivedLines.push_back(FrameDump(frame)); }
    void AddChartPoint() override {
        ChartSamples.push_back(Values.count(ValueBox::Frequency) ? Values[ValueBox::Frequency]
                                                                 : std::string("<none>"));
    }

    std::string Counter(CounterBox box) const {
        const auto it = Counters.find(box);
        return it == Counters.end() ? std::string("<unset>") : it->second;
    }
    std::string Value(ValueBox box) const {
        const auto it = Values.find(box);
        return it == Values.end() ? std::string("<unset>") : it->second;
    }

    bool Messages = true;
    bool Diagram = false;
    std::map<CounterBox, std::string> Counters;
    int CounterRefreshes = 0;
    std::map<ValueBox, std::string> Values;
    std::vector<std::pair<ValueBox, std::string>> ValueHistory;
    std::array<std::string, 6> VirtualInputTexts{"<unset>", "<unset>", "<unset>",
                                                 "<unset>", "<unset>", "<unset>"};
    std::vector<std::uint8_t> ButtonSyncs;
    std::map<Marker, int> MarkerTop;
    std::map<Marker, bool> MarkerShown{{Marker::Query, false}, {Marker::Set, false}};
    std::vector<std::string> SentLines;
    std::vector<std::string> ReceivedLines;
    std::vector<std::string> ChartSamples; // Edit_Frequency's text at each plotted sample
};

class FakePort : public IFrameWriter {
  public:
    bool WriteFrame(const std::uint8_t* bytes, std::uint16_t count) override {
        Writes.emplace_back(bytes, bytes + count);
        return Succeeds;
    }
    bool Succeeds = true;
    std::vector<ByteString> Writes;
};

// Time moves only when the test moves it.
class FakeClock : public IMonotonicClock {
  public:
    MonotonicTime Now() const override { return Time; }
    void Advance(std::chrono::microseconds by) { Time += by; }
    MonotonicTime Time{std::chrono::hours(1)};
};

// An engine wired to the fakes, with the port "opened" in the given mode at slave address 1 and
// no baud rate (frames take no line time). Tick() lets one timer period pass and ticks; the
// default period is a slow window timer's, whose five ticks outlast the no-answer time, so the
// ticks decide when a reply is given up.
struct EngineRig {
    explicit EngineRig(std::uint8_t mode, std::uint8_t address = 1) {
        Settings.Mode = mode;
        Settings.Address = address;
        Engine.ArmPollCycle();
    }
    void Tick() {
        Clock.Advance(TickPeriod);
        Engine.TimerTimer();
    }
    // Runs ticks until one writes a frame (at most limit ticks); returns how many ran.
    int TickUntilSent(int limit = 10) {
        const std::size_t before = Port.Writes.size();
        for (int n = 1; n <= limit; ++n) {
            Tick();
            if (Port.Writes.size() != before) {
                return n;
            }
        }
        return -1;
    }

    std::chrono::microseconds TickPeriod = std::chrono::milliseconds(250);
    TSettings Settings;
    FakeView View;
    FakePort Port;
    FakeClock Clock;
    TPollEngine Engine{Settings, View, Port, Clock};
};

} // namespace quorvel::testing
