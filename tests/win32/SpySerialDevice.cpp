#include "SpySerialDevice.h"

namespace quorvel::win32test {

bool TSpySerialDevice::SetState(const TCommState& state) {
    if (!Record.FirstSetState) {
        Record.FirstSetState = state;
    }
    return Real->SetState(state);
}

bool TSpySerialDevice::BytesWaiting(std::uint32_t& count) {
    for (int left = Record.FailQueries; left > 0;) {
        if (Record.FailQueries.compare_exchange_weak(left, left - 1)) {
            count = 0;
            return false;
        }
    }
    const bool known = Real->BytesWaiting(count);
    if (known && count > 0) {
        count += Record.Overstatement;
    }
    return known;
}

bool TSpySerialDevice::Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
    const bool ok = Real->Read(buffer, size, got);
    if (ok) {
        Record.BytesRead += got;
        if (got < size) {
            ++Record.ShortReads;
        }
    }
    return ok;
}

// Wine keeps timeouts per handle: what the close gave back shows only on this one.
bool TSpySerialDevice::Close() {
    TCommTimeouts timeouts;
    if (Real->GetTimeouts(timeouts)) {
        Record.TimeoutsAtClose = timeouts;
    }
    ++Record.Closes;
    return Real->Close();
}

} // namespace quorvel::win32test
