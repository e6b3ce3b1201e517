// Drive replies built independently of the console's own framing code, so the engine tests
// do not lean on what they exercise. Pure functions; hex digits uppercase.
#pragma once

#include "ByteString.h"

#include <cstdint>
#include <string>

namespace quorvel::testing {

inline std::string Hex2(unsigned byte) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[(byte >> 4) & 0xF], digits[byte & 0xF]};
}

inline std::uint16_t ReferenceCrc(const ByteString& bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                             : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

// ":" + hex of the message bytes + LRC + CR LF.
inline ByteString AsciiFrame(const ByteString& message) {
    unsigned sum = 0;
    std::string text = ":";
    for (const std::uint8_t b : message) {
        sum += b;
        text += Hex2(b);
    }
    text += Hex2((0x100U - (sum & 0xFFU)) & 0xFFU);
    text += "\r\n";
    return BytesOf(text);
}

// Message bytes + CRC low byte + CRC high byte.
inline ByteString RtuFrame(ByteString message) {
    const std::uint16_t crc = ReferenceCrc(message);
    message.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    message.push_back(static_cast<std::uint8_t>(crc >> 8));
    return message;
}

inline ByteString ReadReplyMessage(std::uint8_t address, std::uint16_t word) {
    return {address, 0x03, 0x02, static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word & 0xFF)};
}

inline ByteString ReadReply(std::uint8_t mode, std::uint8_t address, std::uint16_t word) {
    const ByteString message = ReadReplyMessage(address, word);
    return mode == 4 ? RtuFrame(message) : AsciiFrame(message);
}

inline ByteString ExceptionReply(std::uint8_t mode, std::uint8_t address, std::uint8_t function,
                                 std::uint8_t code) {
    const ByteString message{address, static_cast<std::uint8_t>(function | 0x80U), code};
    return mode == 4 ? RtuFrame(message) : AsciiFrame(message);
}

// Register field of a request frame the engine wrote.
inline std::uint16_t RequestRegister(std::uint8_t mode, const ByteString& frame) {
    if (mode == 4) {
        return static_cast<std::uint16_t>(frame.at(2) << 8 | frame.at(3));
    }
    return static_cast<std::uint16_t>(
        std::stoul(std::string(frame.begin() + 5, frame.begin() + 9), nullptr, 16));
}

} // namespace quorvel::testing
