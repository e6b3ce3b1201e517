// The console's settings record: one instance per process, read and written on the main thread.
// Widths follow the settings file; Mode holds a TransmissionMode once the file is loaded.
#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

enum TransmissionMode : std::uint8_t { ModeASCII = 3, ModeRTU = 4 };

struct TSettings {
    std::int16_t Left = 0;
    std::int16_t Top = 0;
    std::string Port;
    std::uint8_t Address = 0;
    std::uint8_t Mode = 0; // TransmissionMode
    std::uint32_t Baudrate = 0;
    std::uint16_t PollInterval = 0; // ms, derived at "Alkalmaz"; never stored in the file
    std::uint16_t TimerASCII = 0;   // ms
    std::uint16_t TimerRTU = 0;     // character times of 11 bits
    bool Diagram = false;
    std::uint8_t Max = 0;
    bool Messages = false;
};

} // namespace quorvel
