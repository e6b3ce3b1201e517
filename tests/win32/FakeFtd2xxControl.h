// Control and record block of the stand-in D2XX library that the Wine tests load in place of
// FTD2XX.DLL. Shared by the DLL and the tests; every field is read and written under no lock,
// so tests inspect it only while the link's worker is not touching the adapter.
#pragma once

#include <cstdint>

namespace quorvel::fake_ftdi {

struct TFakeFtdiRecord {
    // Set by the test before use.
    char ComPort[32];                 // FT_Open opens this COM port underneath; empty: fails
    std::uint32_t AdapterCount;       // what FT_ListDevices reports
    std::uint32_t QueueOverstatement; // added to a non-zero FT_GetQueueStatus count
    std::uint32_t CloseStatus;        // FT_Close's answer (0 = FT_OK releases the port)
    // Recorded by the library.
    std::int32_t OpenedIndex; // device number of the last FT_Open, -1 none
    std::uint32_t ListFlags;  // flags of the last FT_ListDevices
    std::uint32_t BaudRate;
    std::uint8_t WordLength;
    std::uint8_t StopBits;
    std::uint8_t Parity;
    std::uint32_t ReadTimeoutMs;
    std::uint32_t WriteTimeoutMs;
    std::uint8_t LatencyMs;
    std::uint32_t OpenCalls;
    std::uint32_t CloseCalls;
    std::uint32_t ShortReads;  // reads that returned fewer bytes than asked for
    std::uint32_t InputPurges; // FT_Purge calls with FT_PURGE_RX
};

// Exported by the library under this name; returns its one record.
using TFakeFtdiRecordProc = TFakeFtdiRecord* (*)();
inline constexpr const char* RecordProcName = "FakeFtdi_Record";

} // namespace quorvel::fake_ftdi
