// Hex conversions for frames and log lines, and the decimal texts of register values.
// Stateless; the locale's decimal separator is always passed in by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

using FormatCode = std::uint8_t;

// Two uppercase hex digits, high nibble first.
std::string ByteToHex(std::uint8_t byte);
// Four uppercase hex digits, high byte first.
std::string WordToHex(std::uint16_t word);
// No validation: other characters decode by the same arithmetic (lowercase does not give 10..15).
std::uint8_t HexPairToByte(std::uint8_t first, std::uint8_t second);
std::uint16_t HexQuadToWord(std::uint8_t c1, std::uint8_t c2, std::uint8_t c3, std::uint8_t c4);

// Raw register value as display text for the given code; unknown codes give "" (or "N").
std::string FormatValue(std::uint16_t raw, FormatCode code, std::string_view decimalSeparator);

} // namespace quorvel
