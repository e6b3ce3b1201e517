// 1 ms timer resolution through the multimedia timer API (winmm).
#include "TimerResolution.h"

#include <windows.h>

#include <atomic>
#include <timeapi.h>

namespace quorvel {

namespace {

constexpr UINT FinePeriodMs = 1;
std::atomic<int> Requests{0};

} // namespace

bool BeginFineTimer() {
    if (::timeBeginPeriod(FinePeriodMs) != TIMERR_NOERROR) {
        return false;
    }
    ++Requests;
    return true;
}

void EndFineTimer() {
    ::timeEndPeriod(FinePeriodMs);
    --Requests;
}

int FineTimerRequests() {
    return Requests;
}

} // namespace quorvel
