// Main-thread side of TPortThread: configuration, open and close routines, writes, port list.
#include "Portthread.h"

#include "D2xxDevice.h"
#include "D2xxLibrary.h"
#include "PortList.h"
#include "TimerResolution.h"

#include <algorithm>

namespace quorvel {

namespace {

constexpr std::uint8_t FtLatencyMs = 2;
// More adapters than the 8-bit device index can address are not offered.
constexpr std::uint32_t MaxAdapters = 256;

} // namespace

TPortThread::TPortThread(const TSettings& settings, TMainThreadCall mainThread,
                         TPortEnvironment environment)
    : Settings(settings), MainThread(std::move(mainThread)), Environment(std::move(environment)) {
    if (Environment.D2xxLibrary.empty()) {
        Environment.D2xxLibrary = DefaultD2xxLibrary();
    }
}

TPortThread::~TPortThread() {
    Stopping = true; // chunks still on their way are dropped from here on
    ClosePort();
    StopWorker();
}

void TPortThread::OnMainThread(const std::function<void()>& routine) {
    if (MainThread.Call) {
        MainThread.Call(routine);
    } else {
        routine();
    }
}

bool TPortThread::Configure(std::uint8_t mode, std::int32_t baud) {
    ClosePort();
    SetPortName(Settings.Port);
    if (mode == ModeASCII || mode == ModeRTU) {
        SetBaudRate(baud);
        SetDataBits(mode == ModeASCII ? 7 : 8);
        SetStopBits(OneStopBit);
        SetParity(ParityEven);
    }
    return OpenPort();
}

bool TPortThread::OpenPort() {
    OnMainThread([this] { OpenRoutine(); });
    return PortOpen;
}

bool TPortThread::ClosePort() {
    OnMainThread([this] { CloseRoutine(); });
    return !PortOpen;
}

bool TPortThread::WriteFrame(const std::uint8_t* bytes, std::uint16_t count) {
    if (!PortOpen || !ComHandle) {
        return false;
    }
    return ComHandle->Write(bytes, count);
}

std::uint32_t TPortThread::BytesWaiting() {
    std::uint32_t count = 0;
    if (!PortOpen || !ComHandle || !ComHandle->BytesWaiting(count)) {
        return 0;
    }
    return count;
}

template <typename Store> void TPortThread::ChangeSetting(Store store) {
    if (!PortOpen) {
        store();
        return;
    }
    ClosePort();
    store();
    OpenPort();
}

void TPortThread::SetPortName(const std::string& name) {
    ChangeSetting([&] { PortName = name; });
}

void TPortThread::SetBaudRate(std::int32_t baud) {
    ChangeSetting([&] { StoredState.BaudRate = static_cast<std::uint32_t>(baud); });
}

void TPortThread::SetDataBits(std::uint8_t bits) {
    ChangeSetting([&] { StoredState.ByteSize = bits; });
}

void TPortThread::SetParity(std::uint8_t parity) {
    ChangeSetting([&] { StoredState.Parity = parity; });
}

void TPortThread::SetStopBits(std::uint8_t stopBits) {
    ChangeSetting([&] { StoredState.StopBits = stopBits; });
}

std::vector<std::string> TPortThread::GetPortList() {
    std::vector<std::string> names;
    for (TPortEntry& entry : ReadPortEntries(false)) {
        names.push_back(std::move(entry.Name));
    }
    return names;
}

std::vector<TPortEntry> TPortThread::GetPortEntries() {
    return ReadPortEntries(true);
}

// withNotes false: the names alone, without asking the adapters for their descriptions.
std::vector<TPortEntry> TPortThread::ReadPortEntries(bool withNotes) {
    std::vector<TSerialPortInfo> serial;
    if (Environment.SerialMap) {
        for (std::string& name : Environment.SerialMap()) {
            serial.push_back({std::move(name), {}});
        }
    } else {
        serial = SystemSerialPorts(Environment.Roots);
    }
    std::optional<std::uint32_t> adapters;
    if (Environment.AdapterCount) {
        adapters = Environment.AdapterCount();
    } else if (const TD2xxApi* api = D2xx()) {
        std::uint32_t count = 0;
        FtStatus = api->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
        if (FtStatus == FT_OK) {
            adapters = count;
        }
    }
    if (adapters) {
        adapters = std::min(*adapters, MaxAdapters);
    }
    std::vector<std::string> names;
    for (const TSerialPortInfo& port : serial) {
        names.push_back(port.Name);
    }
    std::vector<TPortEntry> entries;
    for (std::string& name : BuildPortList(std::move(names), adapters)) {
        entries.push_back({std::move(name), {}});
    }
    const std::size_t serialCount = serial.size();
    for (std::size_t i = 0; withNotes && i < entries.size(); ++i) {
        TPortEntry& entry = entries[i];
        const auto known = std::find_if(serial.begin(), serial.end(),
                                        [&](const auto& port) { return port.Name == entry.Name; });
        if (known != serial.end()) {
            entry.Note = known->Note;
        } else if (adapters && i >= serialCount) {
            entry.Note = AdapterNote(static_cast<std::uint32_t>(i - serialCount));
        } else {
            entry.Note = "A rendszer nem jelzett soros portot: alapértelmezett név";
        }
    }
    return entries;
}

// What FT_ListDevices tells of adapter index: its description and serial number.
std::string TPortThread::AdapterNote(std::uint32_t index) {
    std::string note = "FTDI USB adapter (D2XX)";
    const TD2xxApi* api = Environment.AdapterCount ? nullptr : D2xx();
    if (api == nullptr) {
        return note;
    }
    const auto ask = [&](std::uint32_t what, const char* label) {
        char text[256] = {};
        void* number = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
        if (api->FT_ListDevices(number, text, FT_LIST_BY_INDEX | what) == FT_OK) {
            text[sizeof text - 1] = '\0';
            if (text[0] != '\0') {
                note += std::string("\n") + label + text;
            }
        }
    };
    ask(FT_OPEN_BY_DESCRIPTION, "Leírás: ");
    ask(FT_OPEN_BY_SERIAL_NUMBER, "Sorozatszám: ");
    return note;
}

const TD2xxApi* TPortThread::D2xx() {
    return LoadD2xx(Environment.D2xxLibrary);
}

// "USB" followed by a decimal number names adapter number-1 (8 bits); false when the rest is not
// a number, which leaves the link closed.
bool TPortThread::ParseUsbName() {
    UsbPort = PortName.compare(0, 3, "USB") == 0;
    if (!UsbPort || PortName.size() == 3) {
        return false;
    }
    std::uint8_t number = 0;
    for (std::size_t i = 3; i < PortName.size(); ++i) {
        const char c = PortName[i];
        if (c < '0' || c > '9') {
            return false;
        }
        number = static_cast<std::uint8_t>(number * 10 + (c - '0'));
    }
    UsbDeviceIndex = static_cast<std::uint8_t>(number - 1);
    return true;
}

void TPortThread::OpenRoutine() {
    const bool usbNameValid = ParseUsbName();
    if (PortOpen) {
        return;
    }
    const bool opened = UsbPort ? usbNameValid && OpenUsb() : OpenCom();
    if (!opened) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        PortOpen = true;
        ++LinkGeneration;
        EmptyPasses = 0;
    }
    Changed.notify_all();
    if (!FineTimer) {
        FineTimer = BeginFineTimer();
    }
    StartWorker();
}

bool TPortThread::OpenUsb() {
    const TD2xxApi* api = D2xx();
    if (api == nullptr) {
        return false; // no D2XX library: like any port that cannot be opened
    }
    FT_HANDLE handle = nullptr;
    FtStatus = api->FT_Open(UsbDeviceIndex, &handle);
    if (FtStatus != FT_OK) {
        return false;
    }
    api->FT_SetBaudRate(handle, StoredState.BaudRate);
    api->FT_SetDataCharacteristics(handle, StoredState.ByteSize, StoredState.StopBits,
                                   StoredState.Parity);
    api->FT_SetTimeouts(handle, StoredTimeouts.ReadTotalTimeoutConstant,
                        StoredTimeouts.WriteTotalTimeoutConstant);
    api->FT_SetLatencyTimer(handle, FtLatencyMs);
    auto adapter = std::make_unique<TD2xxDevice>(*api, handle);
    std::lock_guard<std::mutex> guard(Lock);
    FtHandle = handle;
    OpenAdapter = adapter.get();
    ComHandle = std::move(adapter);
    return true;
}

// Applies the configured line settings over the port's own state and keeps that state, and the
// port's timeouts, to give back at close.
bool TPortThread::OpenCom() {
    std::unique_ptr<ISerialDevice> device = Environment.OpenComPort
                                                ? Environment.OpenComPort(PortName)
                                                : OpenSerialDevice(PortName, Environment.Roots);
    if (!device) {
        return false;
    }
    device->GetState(ActiveState);
    ActiveState.DCBlength = StoredState.DCBlength;
    ActiveState.BaudRate = StoredState.BaudRate;
    ActiveState.ByteSize = StoredState.ByteSize;
    ActiveState.Parity = StoredState.Parity;
    ActiveState.StopBits = StoredState.StopBits;
    device->GetState(StoredState);
    device->SetState(ActiveState);
    ActiveTimeouts = StoredTimeouts;
    device->GetTimeouts(StoredTimeouts);
    device->SetTimeouts(ActiveTimeouts);
    device->SetupQueues(InQueueKB * 1024, OutQueueKB * 1024);
    std::lock_guard<std::mutex> guard(Lock);
    ComHandle = std::move(device);
    return true;
}

void TPortThread::CloseRoutine() {
    if (!PortOpen) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(Lock); // no read pass runs while this is held
        BeginPause(lock);
        CloseDevice();
        EndPause(lock);
    }
    if (!PortOpen) {
        if (FineTimer) {
            EndFineTimer();
            FineTimer = false;
        }
        ReportLinkLost(false);
    }
}

bool TPortThread::IsLinkLost() {
    std::lock_guard<std::mutex> guard(Lock);
    return PortOpen && Lost();
}

// Main thread, asked by the worker while the device of the open link is gone: the same name
// with the same line settings, as if the operator had pressed "Zár" and "Nyit"; not while that
// name can only lead to another program's device.
void TPortThread::Reopen(std::uint64_t generation) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Stopping || !PortOpen || generation != LinkGeneration || !Lost()) {
            return;
        }
        ReleaseLostDevice();
    }
    if (Vanished && !Vanished->MayReopen()) {
        return;
    }
    const bool opened = UsbPort ? OpenUsb() : OpenCom();
    if (!opened) {
        return;
    }
    Vanished.reset();
    {
        std::lock_guard<std::mutex> guard(Lock);
        ++LinkGeneration;
        EmptyPasses = 0;
    }
    Changed.notify_all();
    ReportLinkLost(false);
}

// Under Lock. The vanished device cannot be given its own settings back; its handle is let go
// (so the system may give its name to the device when it returns) and the configuration that was
// in force is kept for the reopen. A serial port stays as Vanished, closed, to be asked whether
// its name may lead back to it.
void TPortThread::ReleaseLostDevice() {
    if (!ComHandle) {
        return;
    }
    if (OpenAdapter != nullptr) {
        FtStatus = OpenAdapter->CloseStatus();
    } else {
        ComHandle->Close();
        StoredState = ActiveState;
        StoredTimeouts = ActiveTimeouts;
        Vanished = std::move(ComHandle);
    }
    ComHandle.reset();
    OpenAdapter = nullptr;
    FtHandle = nullptr;
}

// Not from the destructor: the owner may be half torn down by then.
void TPortThread::ReportLinkLost(bool lost) {
    if (Stopping || lost == LossReported) {
        return;
    }
    LossReported = lost;
    if (OnLinkLost) {
        try {
            OnLinkLost(lost);
        } catch (...) {
            // The window's indication is not worth the link.
        }
    }
}

// Under Lock. A link whose device is gone always closes: there is nothing left to keep open.
void TPortThread::CloseDevice() {
    if (Lost()) {
        ReleaseLostDevice();
        Vanished.reset();
        PortOpen = false;
        return;
    }
    bool closed = false;
    if (OpenAdapter != nullptr) {
        FtStatus = OpenAdapter->CloseStatus();
        closed = FtStatus == FT_OK;
    } else {
        ComHandle->SetState(StoredState);
        ComHandle->SetTimeouts(StoredTimeouts);
        closed = ComHandle->Close();
        if (closed) {
            StoredState = ActiveState;
            StoredTimeouts = ActiveTimeouts;
        } else {
            ComHandle->SetState(ActiveState);
            ComHandle->SetTimeouts(ActiveTimeouts);
        }
    }
    if (closed) {
        ComHandle.reset();
        OpenAdapter = nullptr;
        FtHandle = nullptr;
        PortOpen = false;
    }
}

} // namespace quorvel
