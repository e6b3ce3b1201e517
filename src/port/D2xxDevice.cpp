#include "D2xxDevice.h"

namespace quorvel {

TD2xxDevice::~TD2xxDevice() {
    if (!Closed) {
        Api.FT_Close(Handle);
    }
}

bool TD2xxDevice::BytesWaiting(std::uint32_t& count) {
    count = 0;
    std::uint32_t waiting = 0;
    if (Api.FT_GetQueueStatus(Handle, &waiting) != FT_OK) {
        return false;
    }
    count = waiting;
    return true;
}

bool TD2xxDevice::Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
    got = 0;
    std::uint32_t read = 0;
    if (Api.FT_Read(Handle, buffer, size, &read) != FT_OK) {
        return false;
    }
    got = read <= size ? read : size; // never trust a count beyond the buffer
    return true;
}

bool TD2xxDevice::Write(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t written = 0;
    // FT_Write takes a non-const buffer but only reads it.
    return Api.FT_Write(Handle, const_cast<std::uint8_t*>(bytes), count, &written) == FT_OK;
}

TWaitResult TD2xxDevice::Wait(TWakeEvent& wake) {
    return WaitByPollingQueue(*this, wake, PollMs);
}

FT_STATUS TD2xxDevice::CloseStatus() {
    if (Closed) {
        return FT_OK;
    }
    const FT_STATUS status = Api.FT_Close(Handle);
    Closed = status == FT_OK;
    return status;
}

} // namespace quorvel
