// The four polled reads, the two operator writes, and the choice of the next request.
#include "DriveRegisters.h"
#include "Wait4msg.h"

namespace quorvel {

namespace {
constexpr int MarkerBaseTop = 25;
constexpr int QueryRowPitch = 25; // query check boxes stand 25 pixels apart
constexpr int SetRowPitch = 77;   // control reference row to virtual inputs row

QueryEntry Read(std::uint16_t reg) {
    return QueryEntry{1, FunctionReadHolding, reg, 0};
}

QueryEntry Write(std::uint16_t reg) {
    return QueryEntry{0, FunctionWriteSingle, reg, 0};
}
} // namespace

TPollEngine::TPollEngine(TSettings& settings, IEngineView& view, IFrameWriter& port,
                         const IMonotonicClock& clock)
    : Settings(settings), View(view), Port(port), Clock(clock) {
    BuildQueryTables();
}

void TPollEngine::BuildQueryTables() {
    PollList = {Read(RegOutputFrequency), Read(RegMotorCurrent), Read(RegControlRefSignal),
                Read(RegVirtualInputs)};
    WriteList = {Write(RegControlRefSignal), Write(RegVirtualInputs)};
}

void TPollEngine::SelectNextRequest() {
    for (std::size_t i = 0; i < WriteList.size(); ++i) {
        if (WriteList[i].Active != 0) {
            // Consumed at selection: whatever happens to its frame, it is not queued again.
            PendingRequest = WriteList[i];
            WriteList[i].Active = 0;
            View.SetMarkerVisible(Marker::Query, false);
            View.SetMarkerTop(Marker::Set, MarkerBaseTop + SetRowPitch * static_cast<int>(i));
            View.SetMarkerVisible(Marker::Set, true);
            return; // PollIndex stays, so the reads resume where they stopped
        }
    }

    ++PollIndex; // 8-bit wrap
    bool found = false;
    for (std::size_t k = 0; k < PollList.size() && !found; ++k) {
        const std::size_t e = (PollIndex + k) % PollList.size();
        if (PollList[e].Active != 0) {
            PollIndex = static_cast<std::uint8_t>(e);
            PendingRequest = PollList[e];
            View.SetMarkerTop(Marker::Query, MarkerBaseTop + QueryRowPitch * static_cast<int>(e));
            View.SetMarkerVisible(Marker::Query, true);
            found = true;
        }
    }
    if (!found) {
        PendingRequest.Active = 0; // the other fields keep what the last choice left
        View.SetMarkerVisible(Marker::Query, false);
    }
    View.SetMarkerVisible(Marker::Set, false);
}

void TPollEngine::Check_QueryClick(bool frequency, bool motorCurrent, bool controlRef,
                                   bool virtualInputs) {
    // A read already in flight is not cancelled; the next choice skips what is off.
    PollList[0].Active = frequency ? 1 : 0;
    PollList[1].Active = motorCurrent ? 1 : 0;
    PollList[2].Active = controlRef ? 1 : 0;
    PollList[3].Active = virtualInputs ? 1 : 0;
}

void TPollEngine::QueueWrite(std::size_t index, std::uint16_t value) {
    if (index >= WriteList.size()) {
        return;
    }
    WriteList[index].Value = value; // a write still pending just takes the newest value
    WriteList[index].Active = 1;
}

void TPollEngine::CancelWrite(std::size_t index) {
    if (index < WriteList.size()) {
        WriteList[index].Active = 0;
    }
}

} // namespace quorvel
