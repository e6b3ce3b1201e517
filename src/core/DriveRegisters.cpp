// Frequency-word encoding shared by the value display and the control reference entry.
#include "DriveRegisters.h"

#include <cmath>

namespace quorvel {

namespace {
constexpr double SplitPointHz = 327.67;
constexpr double UpperOffset = 29491.0;
constexpr double LargestWord = 65535.0;
} // namespace

std::optional<std::uint16_t> EncodeFrequencyWord(double hz) {
    // The product is formed in double precision and then cut toward zero, so 0.29 Hz gives 28
    // and 327.68 Hz falls onto the upper scale as 32767.
    const double word = hz <= SplitPointHz ? hz * 100.0 : hz * 10.0 + UpperOffset;
    if (!(word >= 0.0) || word > LargestWord) {
        return std::nullopt; // negative, above 3604.4 Hz, or not a number at all
    }
    return static_cast<std::uint16_t>(std::trunc(word));
}

double DecodeFrequencyWord(std::uint16_t word) {
    if (word < 32768) {
        return word / 100.0;
    }
    return (word - UpperOffset) / 10.0;
}

} // namespace quorvel
