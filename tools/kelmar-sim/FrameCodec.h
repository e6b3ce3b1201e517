// Request decoding and reply encoding for both serial modes: checksum check, hex pairs,
// LRC / CRC-16 appending, and deliberate checksum damage for fault injection. Stateless.
#pragma once

#include "LineMode.h"

#include "ByteString.h"

#include <cstdint>
#include <optional>

namespace quorvel::sim {

// One request as a slave sees it after the checksum check.
struct RequestFrame {
    std::uint8_t address = 0;
    std::uint8_t function = 0;
    ByteString data; // the bytes between the function code and the checksum
};

// The request inside an assembled frame; nullopt when the checksum is wrong or the frame is
// malformed (ASCII: not ':' … CR LF, an odd count or non-hex characters, under three bytes).
std::optional<RequestFrame> DecodeFrame(LineMode mode, ByteView frame);

// A complete reply frame: address, function, data, then LRC (ASCII) or CRC (RTU).
ByteString EncodeFrame(LineMode mode, std::uint8_t address, std::uint8_t function, ByteView data);

// Makes the frame's checksum wrong while keeping its shape (hex digits stay hex digits).
void CorruptChecksum(LineMode mode, ByteString& frame);

} // namespace quorvel::sim
