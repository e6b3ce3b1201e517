// The polling engine: query tables and scheduler, the poll tick and the reply handler.
// One long-lived object on the main thread holds the console's process-wide exchange records;
// it borrows the settings record, the window (IEngineView), the link (IFrameWriter) and a clock.
#pragma once

#include "ByteString.h"
#include "EngineView.h"
#include "FrameWriter.h"
#include "Functionsload.h"
#include "Functionsmodbus.h"
#include "MonotonicClock.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

struct QueryEntry {
    std::uint8_t Active = 0;
    std::uint8_t FunctionCode = 0;
    std::uint16_t Register = 0;
    std::uint16_t Value = 0;
};

enum TPollPhase : std::uint8_t { Idle = 0, ReadyToSend = 1, AwaitingReply = 2 };

struct TExchangeState {
    ByteString LastSentFrame;
    ByteString ReceiveBuffer;
    std::int32_t SentCount = 0;
    std::int32_t ReceivedCount = 0;
    std::int32_t ExceptionCount = 0;
    std::int32_t BadFrameCount = 0;
    std::uint8_t VirtualInputsSynced = 0;
};

// Log line of a frame: two uppercase hex digits and a blank per byte ("3A 30 31 ").
std::string FrameDump(ByteView bytes);

class TPollEngine {
  public:
    TPollEngine(TSettings& settings, IEngineView& view, IFrameWriter& port,
                const IMonotonicClock& clock = SteadyClock());

    // Query tables and scheduler.
    void BuildQueryTables();
    void SelectNextRequest();
    void Check_QueryClick(bool frequency, bool motorCurrent, bool controlRef, bool virtualInputs);
    // Queues WriteList[index] (0 control reference, 1 virtual inputs); a pending one takes the
    // new value. CancelWrite clears its pending flag.
    void QueueWrite(std::size_t index, std::uint16_t value);
    void CancelWrite(std::size_t index);

    // Poll tick and reply handling.
    void TimerTimer();
    void Bt_ClearClick();
    void HandleReply(ByteString chunk);
    // What "Nyit" does to the poll cycle, whether or not the port opened.
    void ArmPollCycle();

    TSettings& Settings;
    std::array<QueryEntry, 4> PollList{};
    std::array<QueryEntry, 2> WriteList{};
    QueryEntry PendingRequest{};
    std::uint8_t PollIndex = 0;

    TPollPhase PollPhase = Idle;
    std::int32_t SilenceTicks = 0;
    std::uint8_t CounterResetRequest = 1;
    TExchangeState ExchangeState;
    ResponseWordArray ResponseWords{};

    // The user's locale separator for the value boxes; the window sets it at start.
    std::string DecimalSeparator = ".";

    // A Modbus ASCII frame has at most 513 characters; bytes gathered beyond this without a
    // verdict cannot become a reply and are judged a bad frame (see HandleReply).
    static constexpr std::size_t ReceiveBufferCap = 1024;

    // An awaited reply is given up only after more than four silent ticks and this much silence
    // on the line. A one-register read reply names no register, so a reply that came later
    // would be taken for the next request's: the wait must outlast the drive, whatever the tick.
    // Real drives answer within tens of milliseconds, a few hundred after a write; a second is
    // the half second masters such as libmodbus give a reply and the half second more that
    // libmodbus's error recovery waits for the line to fall quiet before it goes on.
    static constexpr std::chrono::milliseconds NoAnswerTime{1000};
    // The end of the last frame's transmission or the arrival of the last received chunk,
    // whichever is later: the silence is counted from there.
    MonotonicTime LineBusyUntil{};

  private:
    void RefreshCounters();
    void SendPendingRequest();
    void TransmitLastFrame();
    bool NoAnswerWaitOver() const;
    void JudgeReceiveBuffer();
    void CompleteExchange();
    void RejectFrame();
    void LogReceived();
    void ShowReplyValue();
    void ShowVirtualInputs(std::uint16_t word);

    IEngineView& View;
    IFrameWriter& Port;
    const IMonotonicClock& Clock;
};

} // namespace quorvel
