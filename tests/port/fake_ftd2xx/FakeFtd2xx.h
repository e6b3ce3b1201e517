// Test stand-in for the FTDI D2XX library, with the field's behaviour: adapters are numbered by
// their place in the list of those plugged in now, so pulling one renumbers the ones after it;
// the handle of a pulled adapter stays dead after it is plugged back (it needs a new open);
// FT_Close of a pulled adapter reports an error yet frees the handle; bytes written go out at the
// baud rate, and what has not gone out at FT_Close is lost.
//
// The plugged adapters are a list of entries "SERIAL@PATH@PLUG" (PATH: the terminal the adapter's
// line is, a pty in tests; PLUG: any token, changed when the adapter is plugged in again),
// separated by blanks, set with FakeFt_SetAdapters, else read at every call from the file named
// by QUORVEL_FAKE_FTDI_LIST (so a test can replug adapters of another process).
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
    std::uint32_t Opens;       // FT_Open or FT_OpenEx that succeeded
    std::uint32_t InputPurges; // FT_Purge with FT_PURGE_RX
};

struct FakeFtCounts {
    std::uint32_t OpenByNumber; // FT_Open calls
    std::uint32_t OpenBySerial; // FT_OpenEx calls
    std::uint32_t Closes;       // FT_Close calls on a live handle
    std::uint32_t DoubleCloses; // FT_Close calls on a handle already closed
    std::uint32_t BytesDropped; // written but not yet sent when the adapter was closed
};

// Sets the plugged adapters (see above); nullptr goes back to QUORVEL_FAKE_FTDI_LIST.
using FakeFtSetAdaptersFunction = void (*)(const char* list);
// Settings last given to the adapter with that serial number; false when there were none.
using FakeFtSettingsFunction = bool (*)(const char* serial, FakeFtSettings* settings);
// The next count FT_GetQueueStatus calls fail, as a transient driver hiccup would.
using FakeFtFailQueueQueriesFunction = void (*)(int count);
using FakeFtCountsFunction = void (*)(FakeFtCounts* counts);
}
