// The Kelmar drive's four holding registers and the frequency-word encoding.
// Plain constants and pure functions.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel {

inline constexpr std::uint16_t RegOutputFrequency = 0xF098;
inline constexpr std::uint16_t RegMotorCurrent = 0xF0A0;
inline constexpr std::uint16_t RegControlRefSignal = 0xF510;
inline constexpr std::uint16_t RegVirtualInputs = 0xF508;

inline constexpr std::uint8_t FunctionReadHolding = 3;
inline constexpr std::uint8_t FunctionWriteSingle = 6;

// Hz → frequency word: x × 100 up to 327.67 Hz, x × 10 + 29491 above, cut toward zero;
// nullopt when the result is not within 0 … 65535 (or x is not a number).
std::optional<std::uint16_t> EncodeFrequencyWord(double hz);
// Frequency word → Hz (hundredths below 32768, offset tenths from 32768 on).
double DecodeFrequencyWord(std::uint16_t word);

} // namespace quorvel
