// Main-thread side of TPortThread: configuration, the open and close routines, writes, and what
// the worker hands over when the device vanishes or has been reopened.
#include "Portthread.h"

#include "D2xxDevice.h"
#include "TimerResolution.h"

namespace quorvel {

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
    const bool written = ComHandle->Write(bytes, count);
    Output.Wrote(count, Line.BaudInForce());
    return written;
}

std::uint32_t TPortThread::BytesWaiting() {
    std::uint32_t count = 0;
    if (!PortOpen || !ComHandle || !ComHandle->BytesWaiting(count)) {
        return 0;
    }
    return count;
}

template <typename Store> void TPortThread::ChangeSetting(Store store) {
    const bool reopen = PortOpen;
    if (reopen) {
        ClosePort();
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        store();
    }
    if (reopen) {
        OpenPort();
    }
}

void TPortThread::SetPortName(const std::string& name) {
    ChangeSetting([&] { PortName = name; });
}

void TPortThread::SetBaudRate(std::int32_t baud) {
    ChangeSetting([&] { Line.StoredState.BaudRate = static_cast<std::uint32_t>(baud); });
}

void TPortThread::SetDataBits(std::uint8_t bits) {
    ChangeSetting([&] { Line.StoredState.ByteSize = bits; });
}

void TPortThread::SetParity(std::uint8_t parity) {
    ChangeSetting([&] { Line.StoredState.Parity = parity; });
}

void TPortThread::SetStopBits(std::uint8_t stopBits) {
    ChangeSetting([&] { Line.StoredState.StopBits = stopBits; });
}

void TPortThread::NoteStatus(const std::optional<std::uint32_t>& status) {
    if (status) {
        FtStatus = *status;
    }
}

void TPortThread::OpenRoutine() {
    const TUsbName usb = ParseUsbName(PortName);
    UsbPort = usb.Usb;
    UsbDeviceIndex = usb.Index.value_or(UsbDeviceIndex);
    if (PortOpen) {
        return;
    }
    {
        // A reopen the worker began before the close may still hold the device for a moment.
        std::unique_lock<std::mutex> lock(Lock);
        AwaitWorker(lock, [this] { return !ReopenInFlight; });
    }
    TOpenedPort opened = OpenByName(PortName, Line, Environment);
    NoteStatus(opened.FtStatus);
    if (!opened.Device) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        Install(std::move(opened));
        PortOpen = true;
    }
    Changed.notify_all();
    if (!FineTimer) {
        FineTimer = BeginFineTimer();
    }
    StartWorker();
}

void TPortThread::Install(TOpenedPort&& opened) {
    Line = std::move(opened.Config);
    Trail = std::move(opened.Trail);
    PortName = Trail.Name;
    UsbPort = Trail.Usb;
    UsbDeviceIndex = ParseUsbName(PortName).Index.value_or(UsbDeviceIndex);
    OpenAdapter = opened.Adapter;
    FtHandle = OpenAdapter != nullptr ? OpenAdapter->NativeHandle() : nullptr;
    ComHandle = std::move(opened.Device);
    opened.Adapter = nullptr;
    ++LinkGeneration;
    EmptyPasses = 0;
}

// The last frame goes out before the line is changed or let go; a chunk the worker read before
// the close still reaches OnReceive.
void TPortThread::CloseRoutine() {
    if (!PortOpen) {
        return;
    }
    Output.AwaitLineTime();
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

// Under Lock. A link whose device is gone always closes: there is nothing left to keep open.
void TPortThread::CloseDevice() {
    if (Lost()) {
        ReleaseLostDevice();
        PortOpen = false;
        return;
    }
    ComHandle->DiscardOutput();
    std::optional<std::uint32_t> status;
    const bool closed = CloseOpened(*ComHandle, OpenAdapter, Line, status);
    NoteStatus(status);
    if (closed) {
        ComHandle.reset();
        OpenAdapter = nullptr;
        FtHandle = nullptr;
        PortOpen = false;
    }
}

// Under Lock.
void TPortThread::ReleaseLostDevice() {
    if (!ComHandle) {
        return;
    }
    std::optional<std::uint32_t> status;
    ReleaseVanished(std::move(ComHandle), OpenAdapter, Line, status);
    NoteStatus(status);
    OpenAdapter = nullptr;
    FtHandle = nullptr;
}

bool TPortThread::IsLinkLost() {
    std::lock_guard<std::mutex> guard(Lock);
    return PortOpen && Lost();
}

// Asked by the worker as soon as it finds the device gone: let go of it at once, so the system
// may give its name to it when it returns.
void TPortThread::Vanish(std::uint64_t generation) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Stopping || !PortOpen || generation != LinkGeneration) {
            return;
        }
        ReleaseLostDevice();
    }
    ReportLinkLost(true);
}

// Asked by the worker with the device it reopened: taken when the link still waits for it;
// otherwise left in opened for the worker to close.
void TPortThread::Adopt(TOpenedPort& opened, std::uint64_t generation) {
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Stopping || !PortOpen || generation != LinkGeneration || !Lost()) {
            return;
        }
        NoteStatus(opened.FtStatus);
        Install(std::move(opened));
    }
    Changed.notify_all();
    ReportLinkLost(false);
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

} // namespace quorvel
