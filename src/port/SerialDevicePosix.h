// A serial port opened through termios (Linux): raw mode, the requested line settings as far as
// the driver accepts them, and the port's own settings given back at close. Owns the descriptor
// and the advisory lock on it.
#pragma once

#include "PortOrigin.h"
#include "SerialDevice.h"

#include <termios.h>

namespace quorvel {

class TPosixSerialDevice : public ISerialDevice {
  public:
    // Takes an open descriptor of a terminal device, opened through origin; remembers its
    // settings for Close.
    TPosixSerialDevice(int fd, TPortOrigin origin);
    ~TPosixSerialDevice() override;

    bool GetState(TCommState& state) override;
    bool SetState(const TCommState& state) override;
    bool GetTimeouts(TCommTimeouts& timeouts) override;
    bool SetTimeouts(const TCommTimeouts& timeouts) override;
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return true; }

    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
    bool Close() override;
    TWaitResult Wait(TWakeEvent& wake) override;
    void DiscardOutput() override;
    std::function<bool()> NameLeadsBackCheck() const override;

  private:
    bool WaitWritable(int timeoutMs);

    int Fd;
    TPortOrigin Origin;
    termios Original{};
    bool HaveOriginal = false;
    TCommTimeouts Timeouts{};
    bool HaveTimeouts = false;
    bool SetLowLatency = false; // given back at close
};

} // namespace quorvel
