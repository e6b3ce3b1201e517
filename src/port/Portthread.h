// TPortThread: the console's one serial link (a serial port or a D2XX USB adapter). Open, close,
// configure, write and the port list run on the main thread; a worker hands every chunk it reads
// synchronously to the main thread (OnReceive) and reopens a vanished device off that thread.
#pragma once

#include "ByteString.h"
#include "CommRecords.h"
#include "FrameWriter.h"
#include "Functionsload.h"
#include "LineConfig.h"
#include "PortEnvironment.h"
#include "PortOpening.h"
#include "Replug.h"
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
    bool Link = false; // the device the open link holds, listed under this name now
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
    // of the device, and whether a replug can tell it from another). Read afresh at every call.
    std::vector<TPortEntry> GetPortEntries();

    // Set once before the first open; called on the main thread with every chunk read, also one
    // read just before a close or a reopen.
    std::function<void(ByteString)> OnReceive;
    // Optional; called on the main thread when the open link's device vanishes (true) and when
    // the link has reopened it by itself (false), perhaps under another name (GetPortName).
    std::function<void(bool lost)> OnLinkLost;
    // The link is open for the window but its device is gone; reopen attempts run.
    bool IsLinkLost();
    // The name of the link's device: the configured one, or the one a replug found it under.
    const std::string& GetPortName() const { return PortName; }

    // Pause between reopen attempts while the device of an open link is gone.
    static constexpr int ReopenIntervalMs = 200;

    // Largest chunk one read takes, whatever the driver reports waiting.
    static constexpr std::uint32_t MaxChunk = 4096;

    // Read-only views for diagnostics and tests.
    const TCommState& GetStoredState() const { return Line.StoredState; }
    const TCommTimeouts& GetStoredTimeouts() const { return Line.StoredTimeouts; }
    bool IsUsbPort() const { return UsbPort; }
    std::uint8_t GetUsbDeviceIndex() const { return UsbDeviceIndex; }

  private:
    // Main thread: open, close, settings (Portthread.cpp).
    void OpenRoutine();
    void CloseRoutine();
    void Install(TOpenedPort&& opened); // under Lock
    void CloseDevice();                 // under Lock
    void ReleaseLostDevice();           // under Lock
    template <typename Store> void ChangeSetting(Store store);
    void OnMainThread(const std::function<void()>& routine);
    void ReportLinkLost(bool lost);
    void NoteStatus(const std::optional<std::uint32_t>& status);
    // Main thread: the port list (PortEntries.cpp).
    std::vector<TPortEntry> ReadPortEntries(bool withNotes);
    std::string AdapterNote(std::uint32_t index, const std::vector<std::string>& serials);
    void FollowOpenAdapter(const std::vector<std::string>& serials);
    // Main thread, called by the worker: a vanished device, a reopened one, a chunk.
    void Vanish(std::uint64_t generation);
    void Adopt(TOpenedPort& opened, std::uint64_t generation);
    void Deliver(const ByteString& chunk);

    // Worker (PortthreadWorker.cpp).
    enum class TWorkerStep { Stop, Watch, Reopen };
    void StartWorker();
    void StopWorker();
    void BeginPause(std::unique_lock<std::mutex>& lock);
    // Main thread: waits until done() holds, running the worker's calls meanwhile.
    void AwaitWorker(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done);
    void EndPause(std::unique_lock<std::mutex>& lock);
    void Run();
    TWorkerStep NextStep(std::unique_lock<std::mutex>& lock);
    TWaitResult WaitForData(std::unique_lock<std::mutex>& lock, ISerialDevice& device,
                            std::uint64_t generation);
    void TryReopen(std::unique_lock<std::mutex>& lock);
    void CallMain(const std::function<void()>& routine);
    bool ReadPass(ISerialDevice& device, ByteString& chunk);
    // Under Lock.
    bool Lost() const { return !ComHandle || LinkGeneration == LostGeneration; }

    const TSettings& Settings;
    TMainThreadCall MainThread;
    TPortEnvironment Environment;

    bool PortOpen = false;
    std::string PortName = "COM1";
    TLineConfig Line; // the configuration; its records are the DCB and timeout fields
    bool UsbPort = false;
    std::uint8_t UsbDeviceIndex = 0;
    std::uint32_t FtStatus = 0;
    ByteString ReceiveData;
    // The open device, serial port or adapter; null while the link is open but its device gone
    // and not yet reopened. Changed on the main thread under Lock.
    std::unique_ptr<ISerialDevice> ComHandle;
    void* FtHandle = nullptr;
    TD2xxDevice* OpenAdapter = nullptr; // ComHandle when it is a D2XX adapter
    TReplugTrail Trail;                 // how to find the open device again; under Lock
    TOutputTail Output;                 // main thread

    // Worker coordination: Lock guards the device between the read pass and close.
    std::mutex Lock;
    std::condition_variable Changed;
    TWakeEvent Wake;
    std::thread Worker;
    bool WorkerWaiting = false;  // the worker is blocked in the device's wait
    bool ReopenInFlight = false; // the worker is opening a returned device, without the lock
    int PauseRequests = 0;       // main thread wants the device; the worker keeps out of Wait
    bool Stop = false;           // worker ends
    bool WorkerDone = false;     // the worker loop has returned
    unsigned EmptyPasses = 0;    // readable wake-ups that brought nothing; paces the next waits
    std::uint64_t LinkGeneration = 0; // counts successful opens
    std::uint64_t LostGeneration = 0; // the link of this generation vanished; not watched
    bool LossReported = false;        // OnLinkLost(true) was the last call
    bool FineTimer = false;           // 1 ms timer resolution held while the link is open
    std::atomic<bool> Stopping{false};
};

} // namespace quorvel
