// Opening and closing the link's device on both back ends: a name beginning with "USB" is a D2XX
// adapter, any other a serial port. The operator's open and close run on the main thread; the
// worker opens a returned device through OpenReturned on values of its own.
#pragma once

#include "D2xxDevice.h"
#include "LineConfig.h"
#include "PortEnvironment.h"
#include "Replug.h"
#include "SerialDevice.h"

#include <chrono>
#include <memory>

namespace quorvel {

struct TOpenedPort {
    std::unique_ptr<ISerialDevice> Device; // null: the open failed
    TD2xxDevice* Adapter = nullptr;        // Device, when it is a D2XX adapter
    TLineConfig Config;                    // in force; a serial port's own state kept for close
    TReplugTrail Trail;                    // how to find the device again should it vanish
    std::optional<FT_STATUS> FtStatus;     // of the FT_Open tried, when one was
};

// "Nyit": opens name with the configuration config holds. An adapter name whose rest is no
// decimal number, or any name without its back end, leaves the device null.
TOpenedPort OpenByName(const std::string& name, const TLineConfig& config,
                       const TPortEnvironment& environment);

// A replug: opens the trail's device where it sits now, with config; null while it is not back.
TOpenedPort OpenReturned(const TReplugTrail& trail, const TLineConfig& config,
                         const TPortEnvironment& environment);

// Closes an open device: an adapter by FT_Close, a serial port after giving it back its own state
// (config). false leaves it open and usable.
bool CloseOpened(ISerialDevice& device, TD2xxDevice* adapter, TLineConfig& config,
                 std::optional<FT_STATUS>& ftStatus);

// A device that vanished: let go at once, so the system may give its name to it when it comes
// back; nothing is given back to it and the configuration in force is kept for the reopen.
void ReleaseVanished(std::unique_ptr<ISerialDevice> device, TD2xxDevice* adapter,
                     TLineConfig& config, std::optional<FT_STATUS>& ftStatus);

// When the last frame written is through on the line, so that "Zár" and a change of line
// settings send what was counted as sent. Main thread.
class TOutputTail {
  public:
    using TClock = std::chrono::steady_clock;

    void Wrote(std::uint32_t count, std::uint32_t baud);
    // Waits until the last frame has had its time on the line since it was written, never longer
    // than that one frame's time (a far end that never reads cannot hold a close); then forgets.
    void AwaitLineTime();

  private:
    TClock::time_point LastWrite{};
    std::chrono::microseconds LastLineTime{0};
    TClock::time_point BusyUntil{}; // the line is busy with frames written so far until then
};

} // namespace quorvel
