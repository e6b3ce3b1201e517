// Arbitrary line speeds through Linux's termios2 (BOTHER), for rates without a B constant such as
// 520833 baud. Kept apart because <asm/termbits.h> clashes with <termios.h>.
#pragma once

#include <cstdint>

namespace quorvel {

bool SetCustomBaud(int fd, std::uint32_t baud);
// The output speed in baud as the driver holds it.
bool GetLineBaud(int fd, std::uint32_t& baud);

} // namespace quorvel
