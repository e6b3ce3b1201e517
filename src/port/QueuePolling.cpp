#include "SerialDevice.h"

namespace quorvel {

TWaitResult WaitByPollingQueue(ISerialDevice& device, TWakeEvent& wake, int pollMs) {
    int failures = 0;
    for (;;) {
        if (wake.WaitFor(pollMs)) {
            return TWaitResult::Woken;
        }
        std::uint32_t waiting = 0;
        if (!device.BytesWaiting(waiting)) {
            if (++failures >= QueueFailuresBeforeHangup) {
                return TWaitResult::Hangup; // removed, unplugged: the driver no longer answers
            }
            continue;
        }
        failures = 0;
        if (waiting > 0) {
            return TWaitResult::Readable;
        }
    }
}

} // namespace quorvel
