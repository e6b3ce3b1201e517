#include "UsbPortDevices.h"

#include <algorithm>
#include <cctype>

namespace quorvel {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

bool OnFtdiBus(const std::string& instanceId) {
    static const std::string Bus = "FTDIBUS\\";
    return instanceId.size() > Bus.size() &&
           SameIgnoringCase(instanceId.substr(0, Bus.size()), Bus);
}

// Windows makes up the instance of a composite device's interface; the device itself (the
// parent, with the same ids) carries the serial number.
std::string ParentSerial(const TPortDeviceRecord& record, const TUsbDeviceFacts& device) {
    const std::optional<TUsbDeviceFacts> parent = UsbIdsOfInstancePath(record.ParentInstanceId);
    if (!parent || parent->VendorId != device.VendorId || parent->ProductId != device.ProductId) {
        return {};
    }
    return parent->Serial;
}

std::optional<TUsbDeviceFacts> FactsOf(const TPortDeviceRecord& record) {
    std::optional<TUsbDeviceFacts> device = UsbIdsOfInstancePath(record.InstanceId);
    if (!device) {
        return std::nullopt;
    }
    if (device->Serial.empty()) {
        device->Serial = ParentSerial(record, *device);
    }
    device->Maker = RegistryDisplayText(record.Maker);
    device->Product = RegistryDisplayText(record.Description);
    if (device->Product.empty()) {
        device->Product = RegistryDisplayText(record.FriendlyName);
    }
    if (OnFtdiBus(record.InstanceId)) {
        device->LatencyTimerMs = record.LatencyTimerMs;
    }
    return device;
}

} // namespace

std::map<std::string, TUsbDeviceFacts>
UsbDevicesOfPortRecords(const std::vector<std::string>& ports,
                        const std::vector<TPortDeviceRecord>& records) {
    std::map<std::string, TUsbDeviceFacts> devices;
    for (const std::string& port : ports) {
        const auto record =
            std::find_if(records.begin(), records.end(), [&](const TPortDeviceRecord& r) {
                return !r.PortName.empty() && SameIgnoringCase(r.PortName, port);
            });
        if (record == records.end()) {
            continue;
        }
        if (std::optional<TUsbDeviceFacts> device = FactsOf(*record)) {
            devices.emplace(port, std::move(*device));
        }
    }
    return devices;
}

} // namespace quorvel
