// Test helpers that spell frames the way the protocol documents write them.
// Pure functions; every result is a freshly allocated, exactly sized byte string.
#pragma once

#include "ByteString.h"
#include "Functionsmodbus.h"

#include <sstream>
#include <string>
#include <string_view>

namespace quorvel::test {

// "01 03 02" -> {0x01, 0x03, 0x02}; whitespace between bytes is optional.
inline ByteString Hex(std::string_view text) {
    ByteString bytes;
    std::string digits;
    for (char c : text) {
        if (c != ' ') {
            digits += c;
        }
    }
    for (std::size_t k = 0; k + 1 < digits.size(); k += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(k, 2), nullptr, 16)));
    }
    return ByteString(bytes.begin(), bytes.end());
}

// ASCII frame text followed by CR LF.
inline ByteString Line(std::string_view text) {
    ByteString bytes = BytesOf(text);
    bytes.push_back(0x0D);
    bytes.push_back(0x0A);
    return ByteString(bytes.begin(), bytes.end());
}

// RTU message with its CRC appended low byte first.
inline ByteString WithCrc(ByteString message) {
    const std::uint16_t crc = Crc16(message.data(), static_cast<std::uint16_t>(message.size()));
    message.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    message.push_back(static_cast<std::uint8_t>(crc >> 8));
    return ByteString(message.begin(), message.end());
}

inline std::string Spaced(ByteView bytes) {
    std::ostringstream out;
    for (std::uint8_t b : bytes) {
        out << std::hex << std::uppercase << (b < 16 ? "0" : "") << int{b} << ' ';
    }
    return out.str();
}

inline TSettings SettingsFor(std::uint8_t mode, std::uint8_t address) {
    TSettings settings;
    settings.Mode = mode;
    settings.Address = address;
    return settings;
}

} // namespace quorvel::test
