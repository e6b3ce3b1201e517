// Test stand-in for the FTDI D2XX library: adapter k is the terminal path number k in the
// environment variable QUORVEL_FAKE_FTDI_PORTS (paths separated by ':'). It records the
// settings each adapter was given so tests can read them back through FakeFt_Settings.
#pragma once

#include <cstdint>

extern "C" {

struct FakeFtSettings {
    std::uint32_t BaudRate;
    std::uint8_t WordLength;
    std::uint8_t StopBits;
    std::uint8_t Parity;
    std::uint32_t ReadTimeout;
    std::uint32_t WriteTimeout;
    std::uint8_t LatencyMs;
    std::uint32_t Opens;
};

// Settings last given to adapter index; false when the index is out of range.
using FakeFtSettingsFunction = bool (*)(int index, FakeFtSettings* settings);
// The next count FT_GetQueueStatus calls fail, as a transient driver hiccup would.
using FakeFtFailQueueQueriesFunction = void (*)(int count);
}
