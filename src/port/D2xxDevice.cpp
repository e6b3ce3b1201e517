#include "D2xxDevice.h"

#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

constexpr std::uint8_t FtLatencyMs = 2;
constexpr std::size_t SerialTextSize = 64;
// Without FT_Purge the input is read out instead; a line that keeps streaming is not waited for.
constexpr int PurgeReadsAtMost = 16;

// Bytes the adapter received before the open answer no request of ours.
void PurgeInput(const TD2xxApi& api, FT_HANDLE handle) {
    if (api.FT_Purge != nullptr) {
        api.FT_Purge(handle, FT_PURGE_RX);
        return;
    }
    std::vector<std::uint8_t> discard;
    for (int pass = 0; pass < PurgeReadsAtMost; ++pass) {
        std::uint32_t waiting = 0;
        if (api.FT_GetQueueStatus(handle, &waiting) != FT_OK || waiting == 0) {
            return;
        }
        discard.resize(waiting);
        std::uint32_t got = 0;
        api.FT_Read(handle, discard.data(), waiting, &got);
    }
}

// The results of the setting calls are not examined: the link is open with what the driver took.
std::unique_ptr<TD2xxDevice> Configured(const TD2xxApi& api, FT_HANDLE handle,
                                        const TLineConfig& config) {
    const TCommState& state = config.StoredState;
    api.FT_SetBaudRate(handle, state.BaudRate);
    api.FT_SetDataCharacteristics(handle, state.ByteSize, state.StopBits, state.Parity);
    api.FT_SetTimeouts(handle, config.StoredTimeouts.ReadTotalTimeoutConstant,
                       config.StoredTimeouts.WriteTotalTimeoutConstant);
    api.FT_SetLatencyTimer(handle, FtLatencyMs);
    PurgeInput(api, handle);
    return std::make_unique<TD2xxDevice>(api, handle);
}

} // namespace

TD2xxDevice::~TD2xxDevice() {
    if (!CloseTried) {
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

void TD2xxDevice::DiscardOutput() {
    if (!Closed && Api.FT_Purge != nullptr) {
        Api.FT_Purge(Handle, FT_PURGE_TX);
    }
}

FT_STATUS TD2xxDevice::CloseStatus() {
    if (Closed) {
        return FT_OK;
    }
    CloseTried = true;
    const FT_STATUS status = Api.FT_Close(Handle);
    Closed = status == FT_OK;
    return status;
}

TUsbName ParseUsbName(const std::string& name) {
    TUsbName parsed;
    parsed.Usb = name.compare(0, 3, "USB") == 0;
    if (!parsed.Usb || name.size() == 3) {
        return parsed;
    }
    std::uint8_t number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') {
            return parsed;
        }
        number = static_cast<std::uint8_t>(number * 10 + (c - '0'));
    }
    parsed.Index = static_cast<std::uint8_t>(number - 1);
    return parsed;
}

std::string UsbPortName(std::uint32_t index) {
    return "USB" + std::to_string(index + 1);
}

std::optional<std::vector<std::string>> AdapterSerials(const TD2xxApi& api, std::uint32_t limit) {
    std::uint32_t count = 0;
    if (api.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) {
        return std::nullopt;
    }
    std::vector<std::string> serials;
    for (std::uint32_t index = 0; index < std::min(count, limit); ++index) {
        char text[SerialTextSize] = {};
        void* number = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
        const bool read =
            api.FT_ListDevices(number, text, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER) == FT_OK;
        text[sizeof text - 1] = '\0';
        serials.emplace_back(read ? text : "");
    }
    return serials;
}

TPortIdentity AdapterIdentity(const std::string& serial, const std::vector<std::string>& listed) {
    std::vector<TPortIdentity> present;
    for (const std::string& other : listed) {
        present.push_back({true, other});
    }
    return Distinguished({true, serial}, present);
}

std::optional<std::uint32_t> IndexOfAdapter(const TPortIdentity& identity,
                                            const std::vector<std::string>& listed) {
    std::vector<TPortIdentity> present;
    for (const std::string& serial : listed) {
        present.push_back({true, serial});
    }
    const int index = FindDevice(identity, present);
    return index < 0 ? std::nullopt : std::optional<std::uint32_t>(index);
}

std::unique_ptr<TD2xxDevice> OpenD2xxAdapter(const TD2xxApi& api, std::uint8_t index,
                                             const TLineConfig& config, FT_STATUS& status) {
    FT_HANDLE handle = nullptr;
    status = api.FT_Open(index, &handle);
    return status == FT_OK ? Configured(api, handle, config) : nullptr;
}

std::unique_ptr<TD2xxDevice> OpenD2xxBySerial(const TD2xxApi& api, const std::string& serial,
                                              std::uint8_t index, const TLineConfig& config,
                                              FT_STATUS& status) {
    if (api.FT_OpenEx == nullptr) {
        return OpenD2xxAdapter(api, index, config, status);
    }
    FT_HANDLE handle = nullptr;
    std::string text = serial; // FT_OpenEx takes a non-const pointer but only reads it
    status = api.FT_OpenEx(text.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
    return status == FT_OK ? Configured(api, handle, config) : nullptr;
}

} // namespace quorvel
