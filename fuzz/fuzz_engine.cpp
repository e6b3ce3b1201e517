// Fuzzes the polling engine's reply path: random sequences of ticks (with time passing), received
// chunks (any bytes, any split), queued writes, query-box changes, mode and address changes,
// counter resets and port openings, fed to TPollEngine with counting fakes. After every step the
// engine's own arithmetic is checked against a model that judges each chunk with CheckReply itself.
#include "Functionsconvert.h"
#include "Functionsmodbus.h"
#include "MonotonicClock.h"
#include "Wait4msg.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace quorvel;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "engine invariant broken: %s\n", what);
    std::abort();
}

void Require(bool holds, const char* what) {
    if (!holds) {
        Fail(what);
    }
}

// Keeps only what the checks need: the marker tops, the last counter texts, the write count.
class CountingView : public IEngineView {
  public:
    void SetCounterText(CounterBox box, const std::string& text) override {
        Counters[static_cast<int>(box)] = text;
    }
    void SetValueText(ValueBox, const std::string&) override {}
    void SetVirtualInputText(int input, const std::string& text) override {
        Require(input >= 1 && input <= 6, "virtual input box index");
        Require(text.empty() || text == "X", "virtual input text");
    }
    void SetVirtualInputButtons(std::uint8_t bits) override {
        Require(bits <= 0x3F, "button bits");
        ++ButtonSyncs;
    }
    void SetMarkerTop(Marker marker, int top) override {
        if (marker == Marker::Query) {
            Require(top == 25 || top == 50 || top == 75 || top == 100, "query marker top");
        } else {
            Require(top == 25 || top == 102, "set marker top");
        }
    }
    void SetMarkerVisible(Marker, bool) override {}
    bool MessagesDown() const override { return Messages; }
    bool DiagramDown() const override { return Diagram; }
    void AppendSentFrame(ByteView) override { ++SentLines; }
    void AppendReceivedFrame(ByteView) override { ++ReceivedLines; }
    void AddChartPoint() override {}

    bool Messages = false;
    bool Diagram = false;
    std::string Counters[5];
    int ButtonSyncs = 0;
    std::uint64_t SentLines = 0;
    std::uint64_t ReceivedLines = 0;
};

class CountingPort : public IFrameWriter {
  public:
    bool WriteFrame(const std::uint8_t* bytes, std::uint16_t count) override {
        ++Writes;
        Last.assign(bytes, bytes + count);
        return Succeeds;
    }
    bool Succeeds = true;
    std::uint64_t Writes = 0;
    ByteString Last;
};

// Time moves only when the input says so, so the one-second no-answer wait is reached within a
// run as often as a prompt reply is.
class SteppedClock : public IMonotonicClock {
  public:
    MonotonicTime Now() const override { return At; }
    MonotonicTime At{};
};

// What the counters must read, counted since the last zeroing.
struct Model {
    std::uint64_t WritesAtReset = 0;
    std::int64_t Good = 0;
    std::int64_t Exceptions = 0;
    std::int64_t Bad = 0;
};

struct Rig {
    TSettings Settings;
    CountingView View;
    CountingPort Port;
    SteppedClock Clock;
    TPollEngine Engine{Settings, View, Port, Clock};
    Model Expected;

    void CheckCounters() const {
        const TExchangeState& s = Engine.ExchangeState;
        Require(static_cast<std::uint64_t>(s.SentCount) == Port.Writes - Expected.WritesAtReset,
                "one write per send and per bad frame");
        Require(s.ReceivedCount == Expected.Good + Expected.Exceptions + Expected.Bad,
                "received = good + exceptions + bad frames");
        Require(s.ExceptionCount == Expected.Exceptions, "exception count");
        Require(s.BadFrameCount == Expected.Bad, "bad frame count");
        Require(s.ReceiveBuffer.size() <= TPollEngine::ReceiveBufferCap, "receive buffer cap");
        Require(Engine.PollPhase <= AwaitingReply, "poll phase");
    }

    void Tick() {
        const bool resetDue = Engine.CounterResetRequest != 0 && Engine.PollPhase != AwaitingReply;
        const bool sendDue = Engine.PollPhase == ReadyToSend;
        const std::uint64_t before = Port.Writes;
        Engine.TimerTimer();
        if (resetDue) {
            Require(Engine.CounterResetRequest == 0, "reset honoured");
            Expected = Model{before, 0, 0, 0};
        }
        const std::uint64_t written = Port.Writes - before;
        Require(written <= 1, "at most one write per tick");
        if (written == 1) {
            Require(sendDue, "a tick writes only when ready to send");
            Require(Engine.PollPhase == AwaitingReply, "awaiting after a send");
            Require(Port.Last == Engine.ExchangeState.LastSentFrame, "the frame sent is kept");
            const std::size_t size = Port.Last.size();
            Require(size == (Settings.Mode == ModeRTU ? 8U : 17U), "request length");
        } else if (sendDue) {
            Require(Engine.PendingRequest.Active == 0, "nothing chosen, nothing sent");
        }
        // The boxes were refreshed before the send, from the counters of that moment.
        const TExchangeState& s = Engine.ExchangeState;
        const auto sentThen = static_cast<std::uint32_t>(s.SentCount) - written;
        Require(View.Counters[2] == std::to_string(static_cast<std::int32_t>(
                                        sentThen - static_cast<std::uint32_t>(s.ReceivedCount))),
                "no-answer box");
        if (written == 1 && Engine.PendingRequest.FunctionCode == 3) {
            Require(Engine.PollIndex < Engine.PollList.size(), "index of the read sent");
        }
    }

    void Receive(const ByteString& chunk) {
        ByteString gathered = Engine.ExchangeState.ReceiveBuffer;
        gathered.insert(gathered.end(), chunk.begin(), chunk.end());
        // The verdict the engine must reach, judged on a copy of its words.
        FrameCheck verdict = Incomplete;
        bool judged = false;
        if (gathered.size() > TPollEngine::ReceiveBufferCap) {
            verdict = BadFrame;
            judged = true;
        } else if (gathered.size() >= 5) {
            ResponseWordArray words = Engine.ResponseWords;
            verdict = CheckReply(Settings, gathered, Engine.ExchangeState.LastSentFrame, words);
            judged = true;
        }
        const TPollPhase phaseBefore = Engine.PollPhase;
        const std::uint64_t writesBefore = Port.Writes;
        const ByteString lastSent = Engine.ExchangeState.LastSentFrame;
        Engine.HandleReply(chunk);
        Require(Engine.SilenceTicks == 0, "a chunk restarts the wait");
        const std::uint64_t written = Port.Writes - writesBefore;
        if (!judged || verdict == Incomplete) {
            Require(written == 0, "no write while waiting");
            Require(Engine.ExchangeState.ReceiveBuffer == gathered, "bytes held");
            Require(Engine.PollPhase == phaseBefore, "phase kept while waiting");
            return;
        }
        Require(Engine.ExchangeState.ReceiveBuffer.empty(), "buffer emptied after a verdict");
        if (verdict == BadFrame) {
            ++Expected.Bad;
            Require(written == 1, "one retransmission per bad frame");
            Require(Port.Last == lastSent, "the last frame is sent again");
            Require(Engine.PollPhase == phaseBefore, "phase kept after a bad frame");
        } else {
            ++(verdict == ExceptionReply ? Expected.Exceptions : Expected.Good);
            Require(written == 0, "no write after a reply");
            Require(Engine.PollPhase == ReadyToSend, "ready after a reply");
        }
    }
};

ByteString Chunk(FuzzedDataProvider& input) {
    // Mostly short chunks; now and then one long enough to reach the buffer cap.
    const std::size_t size = input.ConsumeBool()
                                 ? input.ConsumeIntegralInRange<std::size_t>(1, 24)
                                 : input.ConsumeIntegralInRange<std::size_t>(1, 1100);
    ByteString bytes = input.ConsumeBytes<std::uint8_t>(size);
    if (bytes.empty()) {
        bytes.push_back(0);
    }
    return bytes;
}

// A reply a drive could give to the last request: a read reply, an exception or the echo, in
// the current mode and for the current address, perhaps with one byte changed.
ByteString DriveReply(FuzzedDataProvider& input, const TSettings& settings,
                      const ByteString& lastSent) {
    const int kind = input.ConsumeIntegralInRange<int>(0, 2);
    if (kind == 2) {
        return lastSent;
    }
    ByteString message{settings.Address};
    if (kind == 0) {
        const auto word = input.ConsumeIntegral<std::uint16_t>();
        message.insert(message.end(), {3, 2, static_cast<std::uint8_t>(word >> 8),
                                       static_cast<std::uint8_t>(word & 0xFF)});
    } else {
        message.insert(message.end(), {0x83, input.ConsumeIntegralInRange<std::uint8_t>(1, 4)});
    }
    ByteString frame;
    if (settings.Mode == ModeRTU) {
        frame = message;
        const std::uint16_t crc = Crc16(message.data(), static_cast<std::uint16_t>(message.size()));
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    } else {
        std::string text = ":";
        for (const std::uint8_t b : message) {
            text += ByteToHex(b);
        }
        text += ByteToHex(Lrc(message)) + "\r\n";
        frame.assign(text.begin(), text.end());
    }
    return frame;
}

void Deliver(Rig& rig, FuzzedDataProvider& input) {
    ByteString reply = DriveReply(input, rig.Settings, rig.Engine.ExchangeState.LastSentFrame);
    if (!reply.empty() && input.ConsumeBool()) {
        reply[input.ConsumeIntegralInRange<std::size_t>(0, reply.size() - 1)] ^=
            input.ConsumeIntegralInRange<std::uint8_t>(1, 255);
    }
    std::size_t at = 0;
    while (at < reply.size()) {
        const std::size_t part = input.ConsumeIntegralInRange<std::size_t>(1, reply.size() - at);
        rig.Receive(ByteString(reply.begin() + static_cast<std::ptrdiff_t>(at),
                               reply.begin() + static_cast<std::ptrdiff_t>(at + part)));
        rig.CheckCounters();
        at += part;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Rig rig;
    rig.Settings.Mode = input.ConsumeBool() ? ModeRTU : ModeASCII;
    rig.Settings.Address = input.ConsumeIntegralInRange<std::uint8_t>(0, 16);
    rig.View.Messages = input.ConsumeBool();
    rig.View.Diagram = input.ConsumeBool();
    for (int step = 0; step < 400 && input.remaining_bytes() > 0; ++step) {
        switch (input.ConsumeIntegralInRange<int>(0, 12)) {
        case 0:
        case 1:
        case 2:
            rig.Clock.At += std::chrono::milliseconds(input.ConsumeIntegralInRange<int>(0, 1200));
            rig.Tick();
            break;
        case 3:
        case 4:
        case 5:
            rig.Receive(Chunk(input));
            break;
        case 6:
            rig.Engine.QueueWrite(input.ConsumeIntegralInRange<std::size_t>(0, 3),
                                  input.ConsumeIntegral<std::uint16_t>());
            break;
        case 7: {
            const auto boxes = input.ConsumeIntegral<std::uint8_t>();
            rig.Engine.Check_QueryClick(boxes & 1, boxes & 2, boxes & 4, boxes & 8);
            break;
        }
        case 8:
            rig.Settings.Mode = input.ConsumeBool() ? ModeRTU : ModeASCII;
            break;
        case 9:
            rig.Settings.Address = input.ConsumeIntegralInRange<std::uint8_t>(0, 16);
            break;
        case 10:
            rig.Engine.Bt_ClearClick();
            break;
        case 11:
            Deliver(rig, input);
            break;
        default:
            rig.Engine.ArmPollCycle();
            rig.Port.Succeeds = input.ConsumeBool();
            break;
        }
        rig.CheckCounters();
    }
    return 0;
}
