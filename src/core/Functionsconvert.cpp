// Hex conversions and register value formatting, in integer arithmetic only so the output
// never depends on the C library's locale.
#include "Functionsconvert.h"

#include <cstdlib>

namespace quorvel {

namespace {

char NibbleToHex(std::uint8_t nibble) {
    std::uint8_t c = static_cast<std::uint8_t>(nibble + 0x30);
    if (c > 0x39) {
        c = static_cast<std::uint8_t>(c + 7);
    }
    return static_cast<char>(c);
}

std::uint8_t HexDigitValue(std::uint8_t c) {
    std::uint8_t d = static_cast<std::uint8_t>(c - 0x30);
    if (d > 9) {
        d = static_cast<std::uint8_t>(d - 7);
    }
    return d;
}

// Fixed-point text of value / 10^decimals; exact, since value is an integer count of units.
std::string FixedPoint(long value, int decimals, std::string_view separator) {
    std::string text = value < 0 ? "-" : "";
    const unsigned long magnitude = static_cast<unsigned long>(std::labs(value));
    if (decimals == 0) {
        return text + std::to_string(magnitude);
    }
    const unsigned long divisor = decimals == 1 ? 10UL : 100UL;
    std::string fraction = std::to_string(magnitude % divisor);
    if (fraction.size() < static_cast<std::size_t>(decimals)) {
        fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    }
    text += std::to_string(magnitude / divisor);
    text += separator;
    return text + fraction;
}

bool ReadsSigned(FormatCode code) {
    return (code >= 16 && code <= 20) || (code >= 24 && code <= 28);
}

bool ZeroShowsN(FormatCode code) {
    return (code >= 8 && code <= 12) || (code >= 24 && code <= 28);
}

std::string NumberText(long x, FormatCode code, std::string_view separator) {
    switch (code) {
    case 0:
    case 8:
    case 16:
    case 24:
        return FixedPoint(x, 0, separator);
    case 1:
    case 9:
    case 17:
    case 25:
        return FixedPoint(x, 1, separator);
    case 2:
    case 10:
    case 18:
    case 26:
        return FixedPoint(x, 2, separator);
    case 11:
        // Split scale: hundredths below 32768, offset tenths above.
        return x < 32768 ? FixedPoint(x, 2, separator) : FixedPoint(x - 29491, 1, separator);
    default:
        return {};
    }
}

} // namespace

std::string ByteToHex(std::uint8_t byte) {
    return {NibbleToHex(static_cast<std::uint8_t>(byte >> 4)),
            NibbleToHex(static_cast<std::uint8_t>(byte & 0x0F))};
}

std::string WordToHex(std::uint16_t word) {
    return ByteToHex(static_cast<std::uint8_t>(word >> 8)) +
           ByteToHex(static_cast<std::uint8_t>(word & 0xFF));
}

std::uint8_t HexPairToByte(std::uint8_t first, std::uint8_t second) {
    return static_cast<std::uint8_t>(HexDigitValue(first) * 16 + HexDigitValue(second));
}

std::uint16_t HexQuadToWord(std::uint8_t c1, std::uint8_t c2, std::uint8_t c3, std::uint8_t c4) {
    return static_cast<std::uint16_t>(HexPairToByte(c1, c2) * 256 + HexPairToByte(c3, c4));
}

std::string FormatValue(std::uint16_t raw, FormatCode code, std::string_view decimalSeparator) {
    const long x = ReadsSigned(code) ? static_cast<long>(static_cast<std::int16_t>(raw))
                                     : static_cast<long>(raw);
    if (x == 0 && ZeroShowsN(code)) {
        return "N";
    }
    return NumberText(x, code, decimalSeparator);
}

} // namespace quorvel
