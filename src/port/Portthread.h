// TPortThread: the console's one serial link (a serial port or a D2XX USB adapter). Open, close,
// configure, write and the port list run on the main thread; a worker thread waits on the port and
// hands every received chunk synchronously to the main thread, where OnReceive runs.
#pragma once

#include "ByteString.h"
#include "CommRecords.h"
#include "FrameWriter.h"
#include "Functionsload.h"
#include "PortSources.h"
#include "SerialDevice.h"
#include "WakeEvent.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel {

struct TD2xxApi;
class TD2xxDevice;

// The synchronous call onto the main thread, injected by the owner (Qt's blocking queued
// invocation in the GUI; tests pass their own).
struct TMainThreadCall {
    // Runs routine on the main thread and returns after it has returned; runs it directly when the
    // caller already is the main thread.
    std::function<void(const std::function<void()>&)> Call;
    // Main thread only: runs calls waiting for the main thread; used while the worker is stopped so
    // a delivery in flight cannot deadlock the join.
    std::function<void()> ProcessPending;
};

struct TPortEntry {
    std::string Name;
    std::string Note;
};

// What the link reaches out to; the defaults are the real system. Tests replace parts of it.
struct TPortEnvironment {
    TPortRoots Roots;
    std::string D2xxLibrary;                                    // empty: DefaultD2xxLibrary()
    std::function<std::vector<std::string>()> SerialMap;        // replaces SystemSerialPortNames
    std::function<std::optional<std::uint32_t>()> AdapterCount; // replaces FT_ListDevices
    std::function<std::unique_ptr<ISerialDevice>(const std::string&)> OpenComPort;
};

class TPortThread : public IFrameWriter {
  public:
    TPortThread(const TSettings& settings, TMainThreadCall mainThread,
                TPortEnvironment environment = {});
    // Closes the link, drops pending deliveries, then stops and joins the worker.
    ~TPortThread() override;
    TPortThread(const TPortThread&) = delete;
    TPortThread& operator=(const TPortThread&) = delete;

    // Mode 3 ASCII (7E1), 4 RTU (8E1), other: only the port name from the settings. Reopens.
    bool Configure(std::uint8_t mode, std::int32_t baud);
    bool OpenPort();
    bool ClosePort(); // true when the link is closed afterwards
    bool IsOpen() const { return PortOpen; }
    bool WriteFrame(const std::uint8_t* bytes, std::uint16_t count) override;
    std::uint32_t BytesWaiting();

    void SetPortName(const std::string& name);
    void SetBaudRate(std::int32_t baud);
    void SetDataBits(std::uint8_t bits);
    void SetParity(std::uint8_t parity);
    void SetStopBits(std::uint8_t stopBits);

    std::vector<std::string> GetPortList();
    // The same list, each name with its note for the operator (Hungarian; what the system tells
    // of the device). Read afresh at every call.
    std::vector<TPortEntry> GetPortEntries();

    // Set once before the first open; called on the main thread with each received chunk.
    std::function<void(ByteString)> OnReceive;
    // Optional; called on the main thread when the open link's device vanishes (true) and when
    // the link has reopened it by itself (false).
    std::function<void(bool lost)> OnLinkLost;
    // The link is open for the window but its device is gone; reopen attempts run.
    bool IsLinkLost();

    // Pause between reopen attempts while the device of an open link is gone.
    static constexpr int ReopenIntervalMs = 200;

    // Largest chunk one read takes, whatever the driver reports waiting.
    static constexpr std::uint32_t MaxChunk = 4096;

    // Read-only views for diagnostics and tests.
    const TCommState& GetStoredState() const { return StoredState; }
    const TCommTimeouts& GetStoredTimeouts() const { return StoredTimeouts; }
    bool IsUsbPort() const { return UsbPort; }
    std::uint8_t GetUsbDeviceIndex() const { return UsbDeviceIndex; }

  private:
    // Main-thread routines.
    void OpenRoutine();
    void CloseRoutine();
    bool ParseUsbName();
    bool OpenUsb();
    bool OpenCom();
    template <typename Store> void ChangeSetting(Store store);
    const TD2xxApi* D2xx();
    std::string AdapterNote(std::uint32_t index);
    std::vector<TPortEntry> ReadPortEntries(bool withNotes);
    void OnMainThread(const std::function<void()>& routine);
    void BeginPause(std::unique_lock<std::mutex>& lock);
    void EndPause(std::unique_lock<std::mutex>& lock);
    void CloseDevice();
    void StartWorker();
    void StopWorker();
    void Deliver(const ByteString& chunk, std::uint64_t generation);
    // Under Lock.
    bool Lost() const { return !ComHandle || LinkGeneration == LostGeneration; }
    void Reopen(std::uint64_t generation);
    void ReleaseLostDevice();
    void ReportLinkLost(bool lost);

    // Worker.
    enum class TWorkerStep { Stop, Watch, Reopen };
    void Run();
    TWorkerStep NextStep(std::unique_lock<std::mutex>& lock);
    TWaitResult WaitForData(std::unique_lock<std::mutex>& lock, ISerialDevice& device,
                            std::uint64_t generation);
    void CallMain(const std::function<void()>& routine);
    bool ReadPass(ISerialDevice& device, ByteString& chunk);
    void Hand(const ByteString& chunk, std::uint64_t generation);

    const TSettings& Settings;
    TMainThreadCall MainThread;
    TPortEnvironment Environment;

    bool PortOpen = false;
    std::string PortName = "COM1";
    TCommState ActiveState{};
    TCommState StoredState{sizeof(TCommState), 19200, 8, ParityNone, OneStopBit};
    TCommTimeouts ActiveTimeouts{};
    TCommTimeouts StoredTimeouts{15, 1, 150, 1, 150};
    std::uint32_t InQueueKB = 32;
    std::uint32_t OutQueueKB = 8;
    bool UsbPort = false;
    std::uint8_t UsbDeviceIndex = 0;
    std::uint32_t FtStatus = 0;
    ByteString ReceiveData;
    // The open device, serial port or adapter; null while the link is open but its device gone
    // and not yet reopened.
    std::unique_ptr<ISerialDevice> ComHandle;
    // The closed serial port whose device vanished, kept to ask whether its name may lead back
    // to it; main thread only.
    std::unique_ptr<ISerialDevice> Vanished;
    void* FtHandle = nullptr;
    TD2xxDevice* OpenAdapter = nullptr; // ComHandle when it is a D2XX adapter

    // Worker coordination: Lock guards the device between the read pass and close.
    std::mutex Lock;
    std::condition_variable Changed;
    TWakeEvent Wake;
    std::thread Worker;
    bool WorkerWaiting = false; // the worker is blocked in the device's wait
    int PauseRequests = 0;      // main thread wants the device; the worker keeps out of Wait
    bool Stop = false;          // worker ends
    bool WorkerDone = false;    // the worker loop has returned
    unsigned EmptyPasses = 0;   // readable wake-ups that brought nothing; paces the next waits
    std::uint64_t LinkGeneration = 0; // counts successful opens; stale chunks are dropped
    std::uint64_t LostGeneration = 0; // the link of this generation vanished; not watched
    bool LossReported = false;        // OnLinkLost(true) was the last call
    bool FineTimer = false;           // 1 ms timer resolution held while the link is open
    std::atomic<bool> Stopping{false};
};

} // namespace quorvel
