// Stand-in for FTD2XX.DLL: exports the D2XX functions the link resolves at run time and carries
// them out on a COM port (under Wine, a pty mapped to a simulator), recording what it was asked.
#include "FakeFtd2xxControl.h"

#include <windows.h>

#include <cstring>

using quorvel::fake_ftdi::TFakeFtdiRecord;

namespace {

constexpr DWORD FtOk = 0;
constexpr DWORD FtInvalidHandle = 1;
constexpr DWORD FtDeviceNotFound = 2;
constexpr DWORD FtDeviceNotOpened = 3;
constexpr DWORD FtIoError = 4;
constexpr DWORD FtInvalidParameter = 6;
constexpr DWORD ListNumberOnly = 0x80000000u;
constexpr ULONG PurgeRx = 1;
constexpr ULONG PurgeTx = 2;

TFakeFtdiRecord Record = {{}, 2, 0, FtOk, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

struct TFakeAdapter {
    HANDLE Port;
};

HANDLE PortOf(void* handle) {
    return handle == nullptr ? INVALID_HANDLE_VALUE : static_cast<TFakeAdapter*>(handle)->Port;
}

} // namespace

extern "C" {

__declspec(dllexport) TFakeFtdiRecord* FakeFtdi_Record() {
    return &Record;
}

__declspec(dllexport) DWORD WINAPI FT_ListDevices(void* arg1, void* /*arg2*/, DWORD flags) {
    Record.ListFlags = flags;
    if (flags != ListNumberOnly || arg1 == nullptr) {
        return FtInvalidParameter;
    }
    *static_cast<DWORD*>(arg1) = Record.AdapterCount;
    return FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_Open(int deviceNumber, void** handle) {
    ++Record.OpenCalls;
    Record.OpenedIndex = deviceNumber;
    if (deviceNumber < 0 || static_cast<DWORD>(deviceNumber) >= Record.AdapterCount) {
        return FtDeviceNotFound;
    }
    if (Record.ComPort[0] == '\0') {
        return FtDeviceNotOpened;
    }
    HANDLE port = CreateFileA(Record.ComPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return FtDeviceNotOpened;
    }
    *handle = new TFakeAdapter{port};
    return FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_Close(void* handle) {
    ++Record.CloseCalls;
    if (handle == nullptr) {
        return FtInvalidHandle;
    }
    if (Record.CloseStatus != FtOk) {
        return Record.CloseStatus;
    }
    auto* adapter = static_cast<TFakeAdapter*>(handle);
    CloseHandle(adapter->Port);
    delete adapter;
    return FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_SetBaudRate(void* handle, DWORD baud) {
    Record.BaudRate = baud;
    DCB state{};
    state.DCBlength = sizeof(state);
    if (!GetCommState(PortOf(handle), &state)) {
        return FtIoError;
    }
    state.BaudRate = baud;
    return SetCommState(PortOf(handle), &state) ? FtOk : FtIoError;
}

// Parity and word length are only recorded: the pty underneath refuses them.
__declspec(dllexport) DWORD WINAPI
    FT_SetDataCharacteristics(void* handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity) {
    Record.WordLength = wordLength;
    Record.StopBits = stopBits;
    Record.Parity = parity;
    return handle == nullptr ? FtInvalidHandle : FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_SetTimeouts(void* handle, DWORD readMs, DWORD writeMs) {
    Record.ReadTimeoutMs = readMs;
    Record.WriteTimeoutMs = writeMs;
    // D2XX read timeout: a read returns what arrived within readMs.
    COMMTIMEOUTS timeouts{0, 0, readMs, 0, writeMs};
    return SetCommTimeouts(PortOf(handle), &timeouts) ? FtOk : FtIoError;
}

__declspec(dllexport) DWORD WINAPI FT_SetLatencyTimer(void* handle, UCHAR ms) {
    Record.LatencyMs = ms;
    return handle == nullptr ? FtInvalidHandle : FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_GetQueueStatus(void* handle, DWORD* rxBytes) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(PortOf(handle), &errors, &status)) {
        return FtIoError;
    }
    *rxBytes = status.cbInQue == 0 ? 0 : status.cbInQue + Record.QueueOverstatement;
    return FtOk;
}

__declspec(dllexport) DWORD WINAPI FT_Read(void* handle, void* buffer, DWORD toRead, DWORD* got) {
    if (!ReadFile(PortOf(handle), buffer, toRead, got, nullptr)) {
        return FtIoError;
    }
    if (*got < toRead) {
        ++Record.ShortReads;
    }
    return FtOk;
}

__declspec(dllexport) DWORD WINAPI
    FT_Write(void* handle, void* buffer, DWORD toWrite, DWORD* written) {
    return WriteFile(PortOf(handle), buffer, toWrite, written, nullptr) ? FtOk : FtIoError;
}

// The driver's queues, as PurgeComm empties a COM port's.
__declspec(dllexport) DWORD WINAPI FT_Purge(void* handle, ULONG mask) {
    DWORD flags = 0;
    if ((mask & PurgeRx) != 0) {
        flags |= PURGE_RXCLEAR;
        ++Record.InputPurges;
    }
    if ((mask & PurgeTx) != 0) {
        flags |= PURGE_TXCLEAR;
    }
    return PurgeComm(PortOf(handle), flags) ? FtOk : FtIoError;
}

} // extern "C"
