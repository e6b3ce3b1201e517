// The receive side of the exchange: gathers chunks, has them judged, counts, logs,
// retransmits after a bad frame and shows the value a read reply carries.
#include "Wait4msg.h"

#include "DriveRegisters.h"
#include "ExchangeCounters.h"
#include "Functionsconvert.h"

#include <algorithm>

namespace quorvel {

namespace {
constexpr std::size_t ShortestJudgedFrame = 5; // an RTU exception reply
constexpr FormatCode FrequencyFormat = 11;
constexpr FormatCode CurrentFormat = 1;
constexpr int VirtualInputCount = 6;
} // namespace

void TPollEngine::HandleReply(ByteString chunk) {
    SilenceTicks = 0; // every chunk restarts the no-answer wait, whatever follows
    LineBusyUntil = std::max(LineBusyUntil, Clock.Now());
    ByteString& buffer = ExchangeState.ReceiveBuffer;
    buffer.insert(buffer.end(), chunk.begin(), chunk.end());
    if (buffer.size() > ReceiveBufferCap) {
        // Longer than any reply can be and still without a verdict (a line that keeps sending
        // without a frame end): treat it as the bad frame it is, so memory stays bounded and the
        // request goes out again, exactly as for a frame that failed its check.
        RejectFrame();
        return;
    }
    if (buffer.size() < ShortestJudgedFrame) {
        return; // the bytes wait for the next chunk
    }
    JudgeReceiveBuffer();
}

void TPollEngine::JudgeReceiveBuffer() {
    switch (CheckReply(Settings, ExchangeState.ReceiveBuffer, ExchangeState.LastSentFrame,
                       ResponseWords)) {
    case Good:
        CompleteExchange();
        break;
    case ExceptionReply:
        CountOne(ExchangeState.ExceptionCount);
        CompleteExchange();
        break;
    case BadFrame:
        RejectFrame();
        break;
    case Incomplete:
    default:
        break; // more bytes are awaited; the buffer keeps what it holds
    }
}

void TPollEngine::CompleteExchange() {
    CountOne(ExchangeState.ReceivedCount);
    LogReceived();
    ExchangeState.ReceiveBuffer.clear();
    ShowReplyValue();
    PollPhase = ReadyToSend;
}

void TPollEngine::RejectFrame() {
    CountOne(ExchangeState.BadFrameCount);
    CountOne(ExchangeState.ReceivedCount);
    LogReceived();
    ExchangeState.ReceiveBuffer.clear();
    // One retransmission per bad frame; the phase stays, and the wait restarts from its end.
    TransmitLastFrame();
}

void TPollEngine::LogReceived() {
    if (View.MessagesDown()) {
        View.AppendReceivedFrame(ExchangeState.ReceiveBuffer);
    }
}

void TPollEngine::ShowReplyValue() {
    if (PendingRequest.FunctionCode != FunctionReadHolding) {
        return; // a write's echo changes no box
    }
    // An exception reply leaves ResponseWords as the last decode left it; that stale word is
    // what the box of the current read shows.
    const std::uint16_t word = ResponseWords[0];
    switch (PollIndex) {
    case 0:
        View.SetValueText(ValueBox::Frequency,
                          FormatValue(word, FrequencyFormat, DecimalSeparator));
        if (View.DiagramDown()) {
            View.AddChartPoint();
        }
        break;
    case 1:
        View.SetValueText(ValueBox::MotorCurrent,
                          FormatValue(word, CurrentFormat, DecimalSeparator));
        break;
    case 2:
        View.SetValueText(ValueBox::ControlRefSignal,
                          FormatValue(word, FrequencyFormat, DecimalSeparator));
        break;
    case 3:
        ShowVirtualInputs(word);
        break;
    default:
        break;
    }
}

void TPollEngine::ShowVirtualInputs(std::uint16_t word) {
    for (int input = 1; input <= VirtualInputCount; ++input) {
        const bool on = ((word >> (input - 1)) & 1U) != 0;
        View.SetVirtualInputText(input, on ? "X" : "");
    }
    if (ExchangeState.VirtualInputsSynced == 0) {
        // Once per run the buttons follow the drive; setting them queues no write.
        View.SetVirtualInputButtons(static_cast<std::uint8_t>(word & 0x3FU));
        ExchangeState.VirtualInputsSynced = 1;
    }
}

} // namespace quorvel
