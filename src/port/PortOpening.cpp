#include "PortOpening.h"

#include <algorithm>
#include <thread>

namespace quorvel {

namespace {

// A USB adapter takes the bytes over the bus before it starts sending them.
constexpr std::chrono::milliseconds TransferSlack{2};

TOpenedPort OpenAdapter(const TReplugTrail& trail, std::uint8_t index, const TLineConfig& config,
                        const TPortEnvironment& environment) {
    TOpenedPort opened{nullptr, nullptr, config, trail, std::nullopt};
    const TD2xxApi* api = LoadD2xx(environment.D2xxLibrary);
    if (api == nullptr) {
        return opened; // no D2XX library: like any port that cannot be opened
    }
    FT_STATUS status = FT_OK;
    std::unique_ptr<TD2xxDevice> adapter =
        IsRecognisable(trail.Identity)
            ? OpenD2xxBySerial(*api, trail.Identity.Serial, index, config, status)
            : OpenD2xxAdapter(*api, index, config, status);
    opened.FtStatus = status;
    opened.Adapter = adapter.get();
    opened.Device = std::move(adapter);
    return opened;
}

TOpenedPort OpenSerial(TReplugTrail trail, const TLineConfig& config,
                       const TPortEnvironment& environment) {
    std::unique_ptr<ISerialDevice> device = environment.OpenComPort
                                                ? environment.OpenComPort(trail.Name)
                                                : OpenSerialDevice(trail.Name, environment.Roots);
    TOpenedPort opened{nullptr, nullptr, config, std::move(trail), std::nullopt};
    if (device) {
        opened.Config.ApplyAtOpen(*device);
        opened.Trail.NameLeadsBack = device->NameLeadsBackCheck();
        opened.Device = std::move(device);
    }
    return opened;
}

} // namespace

TOpenedPort OpenByName(const std::string& name, const TLineConfig& config,
                       const TPortEnvironment& environment) {
    const TUsbName usb = ParseUsbName(name);
    if (!usb.Usb) {
        TOpenedPort opened = OpenSerial({name}, config, environment);
        if (opened.Device) {
            opened.Trail.Identity = SerialPortIdentity(name, environment);
        }
        return opened;
    }
    if (!usb.Index) {
        return {nullptr, nullptr, config, {name, true}, std::nullopt};
    }
    // The serial numbers as listed when the operator chose the adapter by its number.
    const TD2xxApi* api = LoadD2xx(environment.D2xxLibrary);
    const std::optional<std::vector<std::string>> serials =
        api != nullptr ? AdapterSerials(*api, MaxAdapters) : std::nullopt;
    TReplugTrail trail{name, true, {true}};
    if (serials && *usb.Index < serials->size()) {
        trail.Identity = AdapterIdentity((*serials)[*usb.Index], *serials);
    }
    // Opened by its number, as the operator chose it.
    TReplugTrail byNumber = trail;
    byNumber.Identity = {true};
    TOpenedPort opened = OpenAdapter(byNumber, *usb.Index, config, environment);
    opened.Trail = std::move(trail);
    return opened;
}

TOpenedPort OpenReturned(const TReplugTrail& trail, const TLineConfig& config,
                         const TPortEnvironment& environment) {
    const std::optional<TReturnedPort> where = FindReturned(trail, environment);
    if (!where) {
        return {nullptr, nullptr, config, trail, std::nullopt};
    }
    TReplugTrail now = trail;
    now.Name = where->Name;
    if (trail.Usb) {
        return OpenAdapter(now, where->AdapterIndex, config, environment);
    }
    return OpenSerial(std::move(now), config, environment);
}

bool CloseOpened(ISerialDevice& device, TD2xxDevice* adapter, TLineConfig& config,
                 std::optional<FT_STATUS>& ftStatus) {
    if (adapter != nullptr) {
        ftStatus = adapter->CloseStatus();
        return *ftStatus == FT_OK;
    }
    return config.GiveBackAndClose(device);
}

void ReleaseVanished(std::unique_ptr<ISerialDevice> device, TD2xxDevice* adapter,
                     TLineConfig& config, std::optional<FT_STATUS>& ftStatus) {
    if (adapter != nullptr) {
        ftStatus = adapter->CloseStatus(); // whatever it answers, the handle is not tried again
    } else if (device) {
        device->Close();
    }
    config.ForgetPortState();
}

void TOutputTail::Wrote(std::uint32_t count, std::uint32_t baud) {
    const TClock::time_point now = TClock::now();
    LastWrite = now;
    LastLineTime = LineTime(count, baud);
    BusyUntil = std::max(BusyUntil, now) + LastLineTime;
}

void TOutputTail::AwaitLineTime() {
    if (LastLineTime.count() > 0) {
        std::this_thread::sleep_until(std::min(BusyUntil, LastWrite + LastLineTime) +
                                      TransferSlack);
    }
    *this = TOutputTail();
}

} // namespace quorvel
