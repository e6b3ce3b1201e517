// An open FTDI adapter behind the serial-device interface (it owns the D2XX handle; Read and Wait
// on the worker, the rest on the main thread or the one that opened it), and the adapters' ways:
// "USBn" names, opening by number or serial number, what tells them apart.
#pragma once

#include "D2xxLibrary.h"
#include "LineConfig.h"
#include "PortIdentity.h"
#include "SerialDevice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class TD2xxDevice : public ISerialDevice {
  public:
    TD2xxDevice(const TD2xxApi& api, FT_HANDLE handle) : Api(api), Handle(handle) {}
    // Closes the handle unless a close was tried before: whatever FT_Close answered, the handle
    // is not given to it twice.
    ~TD2xxDevice() override;

    // Line settings are applied at open through the D2XX calls; these keep no state of their own.
    bool GetState(TCommState&) override { return false; }
    bool SetState(const TCommState&) override { return false; }
    bool GetTimeouts(TCommTimeouts&) override { return false; }
    bool SetTimeouts(const TCommTimeouts&) override { return false; }
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return false; }

    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
    bool Close() override { return CloseStatus() == FT_OK; }
    TWaitResult Wait(TWakeEvent& wake) override;
    void DiscardOutput() override;

    // FT_Close's status; the handle counts as released on FT_OK. A failed close may be tried
    // again explicitly (the adapter is still there); the destructor never retries it.
    FT_STATUS CloseStatus();
    FT_HANDLE NativeHandle() const { return Handle; }

    // D2XX offers no handle to wait on here: the queue is asked this often.
    static constexpr int PollMs = 1;

  private:
    const TD2xxApi& Api;
    FT_HANDLE Handle;
    bool Closed = false;
    bool CloseTried = false;
};

// More adapters than the 8-bit device index can address are not offered.
inline constexpr std::uint32_t MaxAdapters = 256;

// A name whose first three characters are exactly "USB" selects the D2XX back end; the rest read
// as a decimal number n names adapter n - 1, kept in 8 bits. Index is empty when the rest is no
// decimal number (such a name never opens).
struct TUsbName {
    bool Usb = false;
    std::optional<std::uint8_t> Index;
};
TUsbName ParseUsbName(const std::string& name);
// The name of adapter index: "USB" + (index + 1).
std::string UsbPortName(std::uint32_t index);

// The attached adapters' serial numbers in the library's order, at most limit of them; "" where
// one has none or it cannot be read. nullopt when the library
// does not say how many there are.
std::optional<std::vector<std::string>> AdapterSerials(const TD2xxApi& api, std::uint32_t limit);

// What tells the adapter with that serial number apart from the ones listed with it.
TPortIdentity AdapterIdentity(const std::string& serial, const std::vector<std::string>& listed);

// The index under which the adapter of identity is listed now; nullopt when it is not, and when
// that does not single one out.
std::optional<std::uint32_t> IndexOfAdapter(const TPortIdentity& identity,
                                            const std::vector<std::string>& listed);

// Opens adapter index with config's line settings, its timeouts and a 2 ms latency timer, and
// with whatever it received before the open discarded. status: FT_Open's.
std::unique_ptr<TD2xxDevice> OpenD2xxAdapter(const TD2xxApi& api, std::uint8_t index,
                                             const TLineConfig& config, FT_STATUS& status);
// The same for the adapter with serial, listed now at index: by its serial number where the
// library can open by one, else by index.
std::unique_ptr<TD2xxDevice> OpenD2xxBySerial(const TD2xxApi& api, const std::string& serial,
                                              std::uint8_t index, const TLineConfig& config,
                                              FT_STATUS& status);

} // namespace quorvel
