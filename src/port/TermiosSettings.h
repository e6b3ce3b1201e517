// Translation between the DCB-coded line settings and a termios record (Linux). Pure functions
// over values; applying them to a descriptor is the caller's business.
#pragma once

#include "CommRecords.h"

#include <optional>
#include <termios.h>

namespace quorvel {

// The B constant for a standard rate; nullopt when the rate needs a custom speed.
std::optional<speed_t> BaudConstant(std::uint32_t baud);
std::optional<std::uint32_t> BaudOfConstant(speed_t speed);

// Raw binary mode: no echo, no line editing, no translation, no software flow control,
// receiver on, modem lines ignored, 8N1; reads return what is there.
void MakeRaw(termios& settings);
// Data bits, parity and stop bits in DCB codes (ByteSize 5..8; Parity 0 none, 1 odd, 2 even;
// StopBits 0 one, 2 two).
void ApplyFraming(termios& settings, const TCommState& state);
// ByteSize, Parity and StopBits as the record holds them (baud rate left to the caller).
TCommState ReadFraming(const termios& settings);

} // namespace quorvel
