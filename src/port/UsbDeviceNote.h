// What the system tells of a USB serial device, and the operator's note built from it, the same
// on every platform. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

struct TUsbDeviceFacts {
    std::string Maker;
    std::string Product;
    std::string Serial;    // empty when the device has none (or the system made one up)
    std::string VendorId;  // four lowercase hex digits
    std::string ProductId; // four lowercase hex digits
    // FTDI's virtual COM port driver holds short replies back this long (its latency timer,
    // ms); 0 when not known or not such a device.
    std::uint32_t LatencyTimerMs = 0;
};

// The latency timer the D2XX path sets; a COM port's driver above it delays replies.
inline constexpr std::uint32_t QuickLatencyTimerMs = 2;

// Appends "label value" as a line of its own; nothing when value is empty.
void AddNoteLine(std::string& note, std::string_view label, std::string_view value);

// Maker, product, serial number and vendor:product ids, one line each (Hungarian); lines for
// what is unknown are left out. A latency timer above QuickLatencyTimerMs adds what it costs
// and what to do about it.
std::string UsbDeviceNote(const TUsbDeviceFacts& device);

// Windows device instance path: "USB\VID_1A86&PID_7523\<instance>" (the instance is the serial
// number when it holds no '&'; otherwise Windows made it up) or
// "FTDIBUS\VID_0403+PID_6001+<serial><port letter>\0000". Fills VendorId, ProductId and Serial;
// nullopt for any other enumerator or when the ids are missing or malformed.
std::optional<TUsbDeviceFacts> UsbIdsOfInstancePath(std::string_view path);

// A registry text as the operator should read it: an INF reference "@oem12.inf,%desc%;Text"
// gives the text after its last ';' (empty when it has none); other texts stay as they are.
// Surrounding blanks are dropped.
std::string RegistryDisplayText(std::string_view value);

} // namespace quorvel
