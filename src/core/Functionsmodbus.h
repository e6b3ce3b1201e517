// Modbus serial-line framing (ASCII with LRC, RTU with CRC-16) and the reply check.
// Stateless apart from the caller's ResponseWords; Mode and Address are read at every call,
// and any Mode other than ModeRTU frames and checks as ASCII.
#pragma once

#include "ByteString.h"
#include "Functionsload.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quorvel {

enum FrameCheck : std::uint8_t { Good = 1, ExceptionReply = 2, BadFrame = 3, Incomplete = 4 };

inline constexpr std::size_t ResponseWordCount = 32;
using ResponseWordArray = std::array<std::uint16_t, ResponseWordCount>;

// CRC-16 of the Modbus serial line over the first count bytes; the low byte is sent first.
std::uint16_t Crc16(const std::uint8_t* bytes, std::uint16_t count);
// 8-bit two's complement of the byte sum (ASCII mode).
std::uint8_t Lrc(ByteView message);

ByteString BuildReadRequest(const TSettings& settings, std::uint16_t reg);
ByteString BuildWriteRequest(const TSettings& settings, std::uint16_t reg, std::uint16_t value);

// How long that many bytes take to cross the line at the settings' baud rate, rounded up: an
// ASCII character is 10 bits (7E1), an RTU character 11 (8E1). Zero while no baud rate is set.
std::chrono::microseconds FrameLineTime(const TSettings& settings, std::size_t bytes);

// Judges the bytes gathered so far against the last request; a read reply's words go to
// responseWords (at most 32 of them, even when the byte count announces more). Never reads
// past the end of received. Caller keeps received.size() >= 5; shorter buffers are still
// judged safely (Incomplete while the start can still become a reply).
FrameCheck CheckReply(const TSettings& settings, ByteView received, ByteView lastSent,
                      ResponseWordArray& responseWords);

} // namespace quorvel
