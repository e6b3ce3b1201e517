// The simulated drive's four holding registers: the output frequency ramps toward the control
// reference while virtual input 1 is on, and the motor current follows it. Single-threaded.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel::sim {

struct DriveSettings {
    double rampHzPerSecond = 10.0;
    bool frozen = false;                // no ramp: the output frequency is always its target
    std::uint16_t controlReference = 0; // frequency word
    std::uint16_t virtualInputs = 0;    // bits 0-5
};

// Register words as the drive would answer them now.
struct DriveRegisters {
    std::uint16_t outputFrequency = 0; // frequency word
    std::uint16_t motorCurrent = 0;    // tenths of an ampere
    std::uint16_t controlReference = 0;
    std::uint16_t virtualInputs = 0;
};

enum class WriteOutcome : std::uint8_t { Stored, ReadOnly, NotARegister };

class DriveModel {
  public:
    explicit DriveModel(const DriveSettings& settings);

    // Lets the given time pass (seconds, negative taken as zero).
    void Advance(double seconds);
    // The word at a served register, nullopt for any other address.
    std::optional<std::uint16_t> Read(std::uint16_t reg) const;
    WriteOutcome Write(std::uint16_t reg, std::uint16_t value);
    DriveRegisters Registers() const;

  private:
    double TargetHz() const;
    std::uint16_t TargetWord() const;
    std::uint16_t OutputFrequencyWord() const;

    DriveSettings settings_;
    double frequencyHz_ = 0.0;
};

// Virtual inputs kept by the drive: bits 6-15 are ignored.
inline constexpr std::uint16_t VirtualInputMask = 0x003F;

// Plausible motor current for an output frequency: 2.0 A magnetising plus 0.2 A per hertz,
// zero at standstill; in tenths of an ampere, capped at 65535.
std::uint16_t MotorCurrentTenths(double hz);

} // namespace quorvel::sim
