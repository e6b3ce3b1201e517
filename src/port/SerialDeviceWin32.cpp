#include "SerialDeviceWin32.h"

#include "PortSources.h"

namespace quorvel {

TWin32SerialDevice::~TWin32SerialDevice() {
    if (Handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(Handle);
    }
}

bool TWin32SerialDevice::GetState(TCommState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(Handle, &dcb)) {
        return false;
    }
    state.DCBlength = dcb.DCBlength;
    state.BaudRate = dcb.BaudRate;
    state.ByteSize = dcb.ByteSize;
    state.Parity = dcb.Parity;
    state.StopBits = dcb.StopBits;
    return true;
}

// Only the line settings change; every other DCB field keeps the port's current value.
bool TWin32SerialDevice::SetState(const TCommState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(Handle, &dcb)) {
        return false;
    }
    dcb.BaudRate = state.BaudRate;
    dcb.ByteSize = state.ByteSize;
    dcb.Parity = state.Parity;
    dcb.StopBits = state.StopBits;
    return ::SetCommState(Handle, &dcb) != FALSE;
}

bool TWin32SerialDevice::GetTimeouts(TCommTimeouts& timeouts) {
    COMMTIMEOUTS native{};
    if (!::GetCommTimeouts(Handle, &native)) {
        return false;
    }
    timeouts.ReadIntervalTimeout = native.ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = native.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = native.ReadTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = native.WriteTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = native.WriteTotalTimeoutConstant;
    return true;
}

bool TWin32SerialDevice::SetTimeouts(const TCommTimeouts& timeouts) {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return ::SetCommTimeouts(Handle, &native) != FALSE;
}

bool TWin32SerialDevice::SetupQueues(std::uint32_t inBytes, std::uint32_t outBytes) {
    return ::SetupComm(Handle, inBytes, outBytes) != FALSE;
}

// Line errors reported (and cleared) here are of no interest: framing is checked above.
bool TWin32SerialDevice::BytesWaiting(std::uint32_t& count) {
    count = 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(Handle, &errors, &status)) {
        return false;
    }
    count = status.cbInQue;
    return true;
}

bool TWin32SerialDevice::Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
    DWORD read = 0;
    const bool ok = ::ReadFile(Handle, buffer, size, &read, nullptr) != FALSE;
    got = read <= size ? read : size;
    return ok;
}

bool TWin32SerialDevice::Write(const std::uint8_t* bytes, std::uint32_t count) {
    DWORD written = 0;
    return ::WriteFile(Handle, bytes, count, &written, nullptr) != FALSE;
}

bool TWin32SerialDevice::Close() {
    if (!::CloseHandle(Handle)) {
        return false;
    }
    Handle = INVALID_HANDLE_VALUE;
    return true;
}

TWaitResult TWin32SerialDevice::Wait(TWakeEvent& wake) {
    return WaitByPollingQueue(*this, wake, static_cast<int>(PollMs));
}

namespace {

// Through the device namespace, as only COM1 … COM9 open by their bare name; the name shown and
// stored stays the bare one.
std::string DevicePath(const std::string& name) {
    static const std::string Namespace = "\\\\.\\";
    return name.rfind(Namespace, 0) == 0 ? name : Namespace + name;
}

} // namespace

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, const TPortRoots&) {
    if (name.empty()) {
        return nullptr;
    }
    HANDLE handle = ::CreateFileA(DevicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // Bytes the driver received before this open answer no request of ours.
    ::PurgeComm(handle, PURGE_RXCLEAR);
    return std::make_unique<TWin32SerialDevice>(handle);
}

} // namespace quorvel
