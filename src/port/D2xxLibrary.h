// The FTDI D2XX functions the link uses, resolved at run time from a library loaded on first use,
// so the console starts without it. Loaded once per path per process and never unloaded.
#pragma once

#include "D2xxCall.h"

#include <cstdint>
#include <string>

namespace quorvel {

using FT_HANDLE = void*;
using FT_STATUS = std::uint32_t; // 0 = FT_OK
inline constexpr FT_STATUS FT_OK = 0;
inline constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
inline constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000u;
inline constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
inline constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2;
inline constexpr std::uint32_t FT_PURGE_RX = 1;
inline constexpr std::uint32_t FT_PURGE_TX = 2;

// DWORD and ULONG are 32 bits wide in the D2XX headers of both platforms; the functions use the
// platform's D2XX calling convention (WINAPI on Windows).
struct TD2xxApi {
    FT_STATUS(QUORVEL_D2XX_CALL* FT_Open)(int deviceNumber, FT_HANDLE* handle);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_Close)(FT_HANDLE handle);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_Read)
    (FT_HANDLE handle, void* buffer, std::uint32_t toRead, std::uint32_t* got);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_Write)
    (FT_HANDLE handle, void* buffer, std::uint32_t toWrite, std::uint32_t* written);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_SetBaudRate)(FT_HANDLE handle, std::uint32_t baud);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_SetDataCharacteristics)
    (FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits, std::uint8_t parity);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_SetTimeouts)
    (FT_HANDLE handle, std::uint32_t readMs, std::uint32_t writeMs);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_GetQueueStatus)(FT_HANDLE handle, std::uint32_t* rxBytes);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_SetLatencyTimer)(FT_HANDLE handle, std::uint8_t ms);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_ListDevices)(void* arg1, void* arg2, std::uint32_t flags);
    // Optional, nullptr when the library lacks them: open by serial number, discard queues.
    FT_STATUS(QUORVEL_D2XX_CALL* FT_OpenEx)(void* arg, std::uint32_t flags, FT_HANDLE* handle);
    FT_STATUS(QUORVEL_D2XX_CALL* FT_Purge)(FT_HANDLE handle, std::uint32_t mask);
};

// The library's usual name on this platform (libftd2xx.so / FTD2XX.DLL).
std::string DefaultD2xxLibrary();

// nullptr when the library or any of its required functions is missing. Thread-safe.
const TD2xxApi* LoadD2xx(const std::string& path);

// Platform loader: nullptr on failure.
using TLibraryProc = void (*)();
void* OpenSharedLibrary(const std::string& path);
TLibraryProc FindLibraryProc(void* library, const char* name);

} // namespace quorvel
