// 1 ms timer resolution through the multimedia timer API (winmm), and, from Windows 11 on, the
// process's opt-out of timer throttling: a minimised or covered window would otherwise get the
// default resolution whatever timeBeginPeriod asked for.
#include "TimerResolution.h"

#include <windows.h>

#include <atomic>
#include <timeapi.h>

namespace quorvel {

namespace {

constexpr UINT FinePeriodMs = 1;
std::atomic<int> Requests{0};
bool ThrottlingWaived = false; // main thread only, like the calls below

using TSetProcessInformation = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

// Looked up at every call: Windows before 8 (and some Wine builds) lack the function.
TSetProcessInformation FindSetProcessInformation() {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TSetProcessInformation>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetProcessInformation")));
}

// controlMask PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION with an empty state mask keeps the
// requested resolution in every window state; 0 leaves throttling to the system again. False
// where the function is missing or the system does not know the setting (before Windows 11).
bool SetTimerThrottling(ULONG controlMask) {
    const TSetProcessInformation set = FindSetProcessInformation();
    if (set == nullptr) {
        return false;
    }
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = controlMask;
    state.StateMask = 0;
    return set(::GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state) != FALSE;
}

} // namespace

bool BeginFineTimer() {
    if (::timeBeginPeriod(FinePeriodMs) != TIMERR_NOERROR) {
        return false;
    }
    if (Requests++ == 0) {
        ThrottlingWaived = SetTimerThrottling(PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
    }
    return true;
}

void EndFineTimer() {
    ::timeEndPeriod(FinePeriodMs);
    if (--Requests == 0 && ThrottlingWaived) {
        SetTimerThrottling(0);
        ThrottlingWaived = false;
    }
}

int FineTimerRequests() {
    return Requests;
}

} // namespace quorvel
