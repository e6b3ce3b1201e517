// One opened port as the link logic sees it, whatever carries it (a serial device, a USB adapter
// through D2XX). Owned by TPortThread; Wait runs on the worker, the rest under the link's rules.
#pragma once

#include "CommRecords.h"
#include "WakeEvent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quorvel {

enum class TWaitResult {
    Readable, // data may be waiting
    Woken,    // the wake event was signalled
    Hangup,   // the port is gone (unplugged, far end closed)
};

// Back ends that poll a queue count (Win32, D2XX) take the device for gone only after this many
// failed queries in a row: a single transient failure does not end reception.
inline constexpr int QueueFailuresBeforeHangup = 5;

class ISerialDevice;

// Wait for back ends without a handle to wait on: asks device.BytesWaiting every pollMs until
// bytes wait, wake is signalled or the queries keep failing.
TWaitResult WaitByPollingQueue(ISerialDevice& device, TWakeEvent& wake, int pollMs);

class ISerialDevice {
  public:
    virtual ~ISerialDevice() = default;

    virtual bool GetState(TCommState& state) = 0;
    virtual bool SetState(const TCommState& state) = 0;
    virtual bool GetTimeouts(TCommTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const TCommTimeouts& timeouts) = 0;
    // Driver queue sizes in bytes; a hint only.
    virtual bool SetupQueues(std::uint32_t inBytes, std::uint32_t outBytes) = 0;

    // false when the driver cannot say; count is then 0.
    virtual bool BytesWaiting(std::uint32_t& count) = 0;
    // Reads at most size bytes that are already there; got tells how many arrived.
    virtual bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) = 0;
    virtual bool Write(const std::uint8_t* bytes, std::uint32_t count) = 0;
    // Gives the port back its own settings where the back end keeps them, then releases it.
    // false leaves the port open and usable.
    virtual bool Close() = 0;

    // Blocks until data may be waiting, the wake event is signalled or the port is gone.
    virtual TWaitResult Wait(TWakeEvent& wake) = 0;

    // Discards output the far end has not taken. The link calls it at close once the last
    // frame has had its time on the line, so that a far end that never reads cannot hold the
    // close. Default: nothing is kept back.
    virtual void DiscardOutput() {}

    // For after the port has vanished: a check, callable from any thread, that answers false
    // while opening the same name again could only reach something other than this device
    // coming back. Empty: the name may always be opened again.
    virtual std::function<bool()> NameLeadsBackCheck() const { return {}; }
};

} // namespace quorvel
