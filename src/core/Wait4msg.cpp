// The poll tick: counter refresh, the send of the chosen request and the no-answer timeout.
#include "Wait4msg.h"

#include "DriveRegisters.h"
#include "ExchangeCounters.h"
#include "Functionsconvert.h"

#include <limits>

namespace quorvel {

namespace {
// More than this many silent ticks after a send or a received chunk, with NoAnswerTime of
// silence, end the wait.
constexpr std::int32_t NoAnswerTicks = 4;
} // namespace

std::string FrameDump(ByteView bytes) {
    std::string line;
    line.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        line += ByteToHex(byte);
        line += ' ';
    }
    return line;
}

void TPollEngine::TimerTimer() {
    // Only "more than four" matters, so the count stops at the top instead of overflowing.
    if (SilenceTicks < std::numeric_limits<std::int32_t>::max()) {
        ++SilenceTicks;
    }
    if (CounterResetRequest != 0 && PollPhase != AwaitingReply) {
        ExchangeState.SentCount = 0;
        ExchangeState.ReceivedCount = 0;
        ExchangeState.ExceptionCount = 0;
        ExchangeState.BadFrameCount = 0;
        CounterResetRequest = 0;
    }
    RefreshCounters();

    if (PollPhase == ReadyToSend) {
        SelectNextRequest();
        if (PendingRequest.Active != 0) {
            SendPendingRequest();
        }
    } else if (PollPhase == AwaitingReply && NoAnswerWaitOver()) {
        PollPhase = ReadyToSend; // no counter moves: "Nincs válasz:" is a difference
    }
}

// Ticks of a few milliseconds pass long before a real drive answers, so the ticks alone would
// give up on it; the silence in time holds the wait open until the drive cannot be answering.
bool TPollEngine::NoAnswerWaitOver() const {
    return SilenceTicks > NoAnswerTicks && Clock.Now() - LineBusyUntil >= NoAnswerTime;
}

void TPollEngine::RefreshCounters() {
    const TExchangeState& s = ExchangeState;
    View.SetCounterText(CounterBox::SentMessage, std::to_string(s.SentCount));
    View.SetCounterText(CounterBox::RecMessage, std::to_string(s.ReceivedCount));
    View.SetCounterText(CounterBox::NoAnswer,
                        std::to_string(CounterDifference(s.SentCount, s.ReceivedCount)));
    View.SetCounterText(CounterBox::ErrorMessage, std::to_string(s.ExceptionCount));
    View.SetCounterText(CounterBox::Error, std::to_string(s.BadFrameCount));
}

void TPollEngine::SendPendingRequest() {
    SilenceTicks = 0;
    ExchangeState.LastSentFrame =
        PendingRequest.FunctionCode == FunctionWriteSingle
            ? BuildWriteRequest(Settings, PendingRequest.Register, PendingRequest.Value)
            : BuildReadRequest(Settings, PendingRequest.Register);
    PollPhase = AwaitingReply; // before the write: a reply can only arrive after it anyway
    TransmitLastFrame();
}

// Sends and retransmissions alike: written, logged when the log is shown, counted whether or not
// the write succeeded, and the silence counted from when the frame will have left the port (at
// 1200 baud a frame takes up to 0.15 s, which the drive cannot spend answering).
void TPollEngine::TransmitLastFrame() {
    const ByteString& frame = ExchangeState.LastSentFrame;
    Port.WriteFrame(frame.data(), static_cast<std::uint16_t>(frame.size()));
    LineBusyUntil = Clock.Now() + FrameLineTime(Settings, frame.size());
    if (View.MessagesDown()) {
        View.AppendSentFrame(frame);
    }
    CountOne(ExchangeState.SentCount);
}

void TPollEngine::Bt_ClearClick() {
    CounterResetRequest = 1; // a later tick that is not awaiting a reply zeroes the counters
}

void TPollEngine::ArmPollCycle() {
    PollPhase = ReadyToSend;
    PollIndex = 0;
    SilenceTicks = 0;
}

} // namespace quorvel
