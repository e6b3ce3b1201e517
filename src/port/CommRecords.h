// Line settings and timeouts of a serial link, in the codes of the Windows DCB and COMMTIMEOUTS
// (ByteSize 7/8; Parity 0 none, 2 even; StopBits 0 = one stop bit; times in ms). Plain values.
#pragma once

#include <cstdint>

namespace quorvel {

// The DCB fields the link logic takes over; every other setting of a port keeps its own value.
struct TCommState {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
};

struct TCommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

enum TParityCode : std::uint8_t { ParityNone = 0, ParityEven = 2 };
enum TStopBitsCode : std::uint8_t { OneStopBit = 0 };

inline bool operator==(const TCommState& a, const TCommState& b) {
    return a.DCBlength == b.DCBlength && a.BaudRate == b.BaudRate && a.ByteSize == b.ByteSize &&
           a.Parity == b.Parity && a.StopBits == b.StopBits;
}

inline bool operator==(const TCommTimeouts& a, const TCommTimeouts& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

} // namespace quorvel
