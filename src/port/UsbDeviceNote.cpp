#include "UsbDeviceNote.h"

#include <cctype>
#include <string>
#include <vector>

namespace quorvel {

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// "VID_1A86" with prefix "VID_": "1a86"; empty unless exactly four hex digits follow.
std::string HexIdAfter(std::string_view part, std::string_view prefix) {
    if (part.size() != prefix.size() + 4 || !StartsWithIgnoringCase(part, prefix)) {
        return {};
    }
    std::string id;
    for (const char c : part.substr(prefix.size())) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return {};
        }
        id += Lower(c);
    }
    return id;
}

// The ids among parts such as "VID_1A86", "PID_7523", "MI_00"; false when either is missing.
bool FindIds(const std::vector<std::string_view>& parts, TUsbDeviceFacts& device) {
    for (const std::string_view part : parts) {
        if (device.VendorId.empty()) {
            device.VendorId = HexIdAfter(part, "VID_");
        }
        if (device.ProductId.empty()) {
            device.ProductId = HexIdAfter(part, "PID_");
        }
    }
    return !device.VendorId.empty() && !device.ProductId.empty();
}

// A serial number Windows made up from the device's place on the bus holds '&'.
std::string SerialOrNothing(std::string_view text) {
    return text.find('&') == std::string_view::npos ? std::string(text) : std::string();
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

void AddNoteLine(std::string& note, std::string_view label, std::string_view value) {
    if (value.empty()) {
        return;
    }
    if (!note.empty()) {
        note += '\n';
    }
    note.append(label).append(value);
}

std::string UsbDeviceNote(const TUsbDeviceFacts& device) {
    std::string note;
    AddNoteLine(note, "Gyártó: ", device.Maker);
    AddNoteLine(note, "Termék: ", device.Product);
    AddNoteLine(note, "Sorozatszám: ", device.Serial);
    if (!device.VendorId.empty() && !device.ProductId.empty()) {
        AddNoteLine(note, "USB azonosító: ", device.VendorId + ":" + device.ProductId);
    }
    if (device.LatencyTimerMs > QuickLatencyTimerMs) {
        const std::string quick = std::to_string(QuickLatencyTimerMs) + " ms";
        AddNoteLine(note, "Késleltetési időzítő: ",
                    std::to_string(device.LatencyTimerMs) +
                        " ms – ennyit késhet minden rövid válasz.");
        // Short lines: a tooltip does not wrap them.
        AddNoteLine(note, "Teendő: ",
                    "válassza inkább az adapter „USB…” bejegyzését (ott " + quick + "), vagy");
        AddNoteLine(note,
                    "állítsa " + quick + "-ra: ", "Eszközkezelő → Portok (COM és LPT) → a port →");
        AddNoteLine(note, "",
                    "Port beállításai → Speciális → Késleltetési időzítő (Latency Timer).");
    }
    return note;
}

std::optional<TUsbDeviceFacts> UsbIdsOfInstancePath(std::string_view path) {
    const std::vector<std::string_view> levels = Split(path, '\\');
    if (levels.size() != 3 || levels[2].empty()) {
        return std::nullopt;
    }
    TUsbDeviceFacts device;
    if (EqualsIgnoringCase(levels[0], "USB")) {
        if (!FindIds(Split(levels[1], '&'), device)) {
            return std::nullopt;
        }
        device.Serial = SerialOrNothing(levels[2]);
        return device;
    }
    if (EqualsIgnoringCase(levels[0], "FTDIBUS")) {
        const std::vector<std::string_view> parts = Split(levels[1], '+');
        if (parts.size() != 3 || !FindIds({parts[0], parts[1]}, device)) {
            return std::nullopt;
        }
        if (parts[2].size() > 1) { // the last letter names the chip's port: A, B, …
            device.Serial = SerialOrNothing(parts[2].substr(0, parts[2].size() - 1));
        }
        return device;
    }
    return std::nullopt;
}

std::string RegistryDisplayText(std::string_view value) {
    while (!value.empty() && value.back() == '\0') {
        value.remove_suffix(1);
    }
    if (!value.empty() && value.front() == '@') {
        const std::size_t separator = value.rfind(';');
        value =
            separator == std::string_view::npos ? std::string_view() : value.substr(separator + 1);
    }
    return std::string(Trimmed(value));
}

} // namespace quorvel
