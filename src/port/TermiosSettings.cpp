#include "TermiosSettings.h"

#include <array>
#include <utility>

namespace quorvel {

namespace {

const std::array<std::pair<std::uint32_t, speed_t>, 19> StandardRates{{
    {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
    {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000},
}};

tcflag_t SizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

std::optional<speed_t> BaudConstant(std::uint32_t baud) {
    for (const auto& [rate, constant] : StandardRates) {
        if (rate == baud) {
            return constant;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> BaudOfConstant(speed_t speed) {
    for (const auto& [rate, constant] : StandardRates) {
        if (constant == speed) {
            return rate;
        }
    }
    return std::nullopt;
}

void MakeRaw(termios& settings) {
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IXOFF | IXANY | INPCK);
    settings.c_iflag |= IGNBRK;
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | PARODD);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

void ApplyFraming(termios& settings, const TCommState& state) {
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    settings.c_cflag |= SizeFlag(state.ByteSize);
    if (state.Parity == 1 || state.Parity == 2) {
        settings.c_cflag |= PARENB;
        if (state.Parity == 1) {
            settings.c_cflag |= PARODD;
        }
    }
    if (state.StopBits != OneStopBit) {
        settings.c_cflag |= CSTOPB;
    }
}

TCommState ReadFraming(const termios& settings) {
    TCommState state;
    state.DCBlength = sizeof(TCommState);
    switch (settings.c_cflag & CSIZE) {
    case CS5:
        state.ByteSize = 5;
        break;
    case CS6:
        state.ByteSize = 6;
        break;
    case CS7:
        state.ByteSize = 7;
        break;
    default:
        state.ByteSize = 8;
        break;
    }
    if ((settings.c_cflag & PARENB) != 0) {
        state.Parity = (settings.c_cflag & PARODD) != 0 ? 1 : ParityEven;
    }
    state.StopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : OneStopBit;
    return state;
}

} // namespace quorvel
