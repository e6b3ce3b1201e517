// A manual-reset wake-up signal the port worker waits on beside its port handle, so that a close
// or a stop requested by the main thread ends the wait at once. Signal and Clear from any thread.
#pragma once

#include <cstdint>

namespace quorvel {

class TWakeEvent {
  public:
    // Throws std::system_error when the system has no event to give.
    TWakeEvent();
    ~TWakeEvent();
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    void Signal();
    void Clear();
    // Waits until signalled or until timeoutMs have passed (negative: no limit); true when
    // signalled.
    bool WaitFor(int timeoutMs);
    // POSIX: a readable file descriptor while signalled; Windows: the event HANDLE.
    std::intptr_t Native() const { return Handle; }

  private:
    std::intptr_t Handle;
};

} // namespace quorvel
