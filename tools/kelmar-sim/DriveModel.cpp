#include "DriveModel.h"

#include "DriveRegisters.h"

#include <algorithm>
#include <cmath>

namespace quorvel::sim {

std::uint16_t MotorCurrentTenths(double hz) {
    if (!(hz > 0.0)) {
        return 0;
    }
    const double tenths = std::round(20.0 + 2.0 * hz);
    return static_cast<std::uint16_t>(std::min(tenths, 65535.0));
}

DriveModel::DriveModel(const DriveSettings& settings) : settings_(settings) {
    settings_.virtualInputs &= VirtualInputMask;
    frequencyHz_ = settings_.frozen ? TargetHz() : 0.0;
}

void DriveModel::Advance(double seconds) {
    const double target = TargetHz();
    if (settings_.frozen) {
        frequencyHz_ = target;
        return;
    }
    const double step = settings_.rampHzPerSecond * std::max(seconds, 0.0);
    if (frequencyHz_ < target) {
        frequencyHz_ = std::min(frequencyHz_ + step, target);
    } else {
        frequencyHz_ = std::max(frequencyHz_ - step, target);
    }
}

std::optional<std::uint16_t> DriveModel::Read(std::uint16_t reg) const {
    const DriveRegisters words = Registers();
    switch (reg) {
    case RegOutputFrequency:
        return words.outputFrequency;
    case RegMotorCurrent:
        return words.motorCurrent;
    case RegControlRefSignal:
        return words.controlReference;
    case RegVirtualInputs:
        return words.virtualInputs;
    default:
        return std::nullopt;
    }
}

WriteOutcome DriveModel::Write(std::uint16_t reg, std::uint16_t value) {
    switch (reg) {
    case RegControlRefSignal:
        settings_.controlReference = value;
        break;
    case RegVirtualInputs:
        settings_.virtualInputs = value & VirtualInputMask;
        break;
    case RegOutputFrequency:
    case RegMotorCurrent:
        return WriteOutcome::ReadOnly;
    default:
        return WriteOutcome::NotARegister;
    }
    if (settings_.frozen) {
        frequencyHz_ = TargetHz();
    }
    return WriteOutcome::Stored;
}

DriveRegisters DriveModel::Registers() const {
    DriveRegisters words;
    words.outputFrequency = OutputFrequencyWord();
    words.motorCurrent = MotorCurrentTenths(DecodeFrequencyWord(words.outputFrequency));
    words.controlReference = settings_.controlReference;
    words.virtualInputs = settings_.virtualInputs;
    return words;
}

double DriveModel::TargetHz() const {
    return DecodeFrequencyWord(TargetWord());
}

std::uint16_t DriveModel::TargetWord() const {
    const bool running = (settings_.virtualInputs & 0x0001) != 0;
    return running ? settings_.controlReference : 0;
}

std::uint16_t DriveModel::OutputFrequencyWord() const {
    // At the target the word is the reference itself, free of any rounding on the way.
    if (frequencyHz_ == TargetHz()) {
        return TargetWord();
    }
    return EncodeFrequencyWord(frequencyHz_).value_or(0);
}

} // namespace quorvel::sim
