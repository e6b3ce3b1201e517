// A serial port opened through the Windows communications API (synchronous I/O). Owns the handle;
// Wait runs on the worker, the rest on the main thread. Flow control and byte filtering left on
// the port by another program are off while it is open and given back at close.
#pragma once

#include "SerialDevice.h"

#include <windows.h>

namespace quorvel {

class TWin32SerialDevice : public ISerialDevice {
  public:
    explicit TWin32SerialDevice(HANDLE handle) : Handle(handle) {}
    ~TWin32SerialDevice() override;

    bool GetState(TCommState& state) override;
    bool SetState(const TCommState& state) override;
    bool GetTimeouts(TCommTimeouts& timeouts) override;
    bool SetTimeouts(const TCommTimeouts& timeouts) override;
    bool SetupQueues(std::uint32_t inBytes, std::uint32_t outBytes) override;

    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
    bool Close() override;
    TWaitResult Wait(TWakeEvent& wake) override;

    // A synchronous handle cannot be waited on without blocking writes: the queue is asked this
    // often instead (the system timer's resolution applies).
    static constexpr DWORD PollMs = 1;

  private:
    void GiveBackLineFilters();

    HANDLE Handle;
    DCB OwnFilters{}; // the port's own flow control and filtering, as found
    bool KnowsOwnFilters = false;
    bool ShortWriteSaid = false; // a short write is said once per open
};

} // namespace quorvel
