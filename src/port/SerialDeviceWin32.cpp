#include "SerialDeviceWin32.h"

#include "PortSources.h"

#include <cstdio>

namespace quorvel {

namespace {

// What a transparent Modbus line cannot have, whatever program left it on: CTS or DSR output
// flow control holds every write until the write timeout (which still reports success), DSR
// sensitivity drops received bytes while DSR is low, fNull drops the zero bytes of RTU frames,
// XON/XOFF eat 0x11 and 0x13 bytes, and abort-on-error fails reads and writes after any line
// error, which this link otherwise ignores. RTS and DTR control stay: an RS-485 converter may be
// powered or switched by them, and their handshake only holds the far end back when the input
// queue fills, which the worker's reads never let happen.
void CopyLineFilters(const DCB& from, DCB& to) {
    to.fOutxCtsFlow = from.fOutxCtsFlow;
    to.fOutxDsrFlow = from.fOutxDsrFlow;
    to.fDsrSensitivity = from.fDsrSensitivity;
    to.fOutX = from.fOutX;
    to.fInX = from.fInX;
    to.fNull = from.fNull;
    to.fAbortOnError = from.fAbortOnError;
}

void ClearLineFilters(DCB& dcb) {
    CopyLineFilters(DCB{}, dcb);
}

} // namespace

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

// The line settings change and the line is made transparent; every other DCB field keeps the
// port's current value. The port's own filters are kept, as first found, for the close.
bool TWin32SerialDevice::SetState(const TCommState& state) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(Handle, &dcb)) {
        return false;
    }
    if (!KnowsOwnFilters) {
        CopyLineFilters(dcb, OwnFilters);
        KnowsOwnFilters = true;
    }
    ClearLineFilters(dcb);
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

// A write that timed out succeeds with fewer bytes written; the frame still counts as sent (the
// reply's absence is counted), but a technician watching stderr is told once per open.
bool TWin32SerialDevice::Write(const std::uint8_t* bytes, std::uint32_t count) {
    DWORD written = 0;
    if (!::WriteFile(Handle, bytes, count, &written, nullptr)) {
        return false;
    }
    if (written < count && !ShortWriteSaid) {
        ShortWriteSaid = true;
        std::fprintf(stderr,
                     "quorvel: serial write timed out: %lu of %lu bytes sent, counted as sent "
                     "(said once per open; is flow control holding the line?)\n",
                     static_cast<unsigned long>(written), static_cast<unsigned long>(count));
    }
    return true;
}

void TWin32SerialDevice::GiveBackLineFilters() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (KnowsOwnFilters && ::GetCommState(Handle, &dcb)) {
        CopyLineFilters(OwnFilters, dcb);
        ::SetCommState(Handle, &dcb);
    }
}

bool TWin32SerialDevice::Close() {
    GiveBackLineFilters();
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
    return std::make_unique<TWin32SerialDevice>(handle);
}

} // namespace quorvel
