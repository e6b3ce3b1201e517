// An open FTDI adapter behind the serial-device interface. Owns the D2XX handle; the library
// stays loaded for the process. Read/Wait on the worker, the rest on the main thread.
#pragma once

#include "D2xxLibrary.h"
#include "SerialDevice.h"

namespace quorvel {

class TD2xxDevice : public ISerialDevice {
  public:
    TD2xxDevice(const TD2xxApi& api, FT_HANDLE handle) : Api(api), Handle(handle) {}
    ~TD2xxDevice() override;

    // Line settings are applied at open through the D2XX calls; these keep no state of their own.
    bool GetState(TCommState&) override { return false; }
    bool SetState(const TCommState&) override { return false; }
    bool GetTimeouts(TCommTimeouts&) override { return false; }
    bool SetTimeouts(const TCommTimeouts&) override { return false; }
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return false; }

    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
    bool Close() override { return CloseStatus() == FT_OK; }
    TWaitResult Wait(TWakeEvent& wake) override;

    // FT_Close's status; the handle is released only on FT_OK.
    FT_STATUS CloseStatus();

    // D2XX offers no handle to wait on here: the queue is asked this often.
    static constexpr int PollMs = 1;

  private:
    const TD2xxApi& Api;
    FT_HANDLE Handle;
    bool Closed = false;
};

} // namespace quorvel
