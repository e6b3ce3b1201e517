// Wake-up signal over a manual-reset Win32 event.
#include "WakeEvent.h"

#include <system_error>
#include <windows.h>

namespace quorvel {

namespace {

HANDLE EventOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

TWakeEvent::TWakeEvent()
    : Handle(reinterpret_cast<std::intptr_t>(::CreateEventA(nullptr, TRUE, FALSE, nullptr))) {
    if (Handle == 0) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEvent");
    }
}

TWakeEvent::~TWakeEvent() {
    if (Handle != 0) {
        ::CloseHandle(EventOf(Handle));
    }
}

void TWakeEvent::Signal() {
    ::SetEvent(EventOf(Handle));
}

void TWakeEvent::Clear() {
    ::ResetEvent(EventOf(Handle));
}

bool TWakeEvent::WaitFor(int timeoutMs) {
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return ::WaitForSingleObject(EventOf(Handle), limit) == WAIT_OBJECT_0;
}

} // namespace quorvel
