// The console's settings record: one instance per process, read and written on the main thread.
// Widths follow the settings file; Mode holds a TransmissionMode once the file is loaded.
#pragma once

#include "FileAccess.h"
#include "SettingsLocation.h"

#include <cstdint>
#include <string>
#include <string_view>

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

// The settings file: INI, one section "Quorvel", eleven keys. Plain functions, no state;
// the console calls them on the main thread at start and at close.
inline constexpr std::string_view SettingsSection = "Quorvel";

// The executable's path with its extension replaced by ".ini" (appended when it has none).
std::string SettingsFilePath(const std::string& executablePath);

// The file's values with a default for every missing or unreadable key; a missing file gives
// the defaults throughout, and so does a pipe, device or folder (with a line on stderr). Left/Top
// below 0 become 0; narrower fields keep the low bits; PollInterval is 0. Address and Mode are
// returned as stored (the window limits them).
TSettings ReadSettingsFile(const std::string& path);
// The same from the file's bytes.
TSettings ParseSettings(std::string_view fileBytes);

// The file's bytes with the "Quorvel" section given the eleven keys in order, in the file's own
// encoding; its comments and blank lines and every other section and line are kept byte for byte.
std::string MergeSettings(std::string_view fileBytes, const TSettings& settings);

// Saves the record into the file (its folder created when missing). The file is replaced whole
// or, where only that is possible, rewritten in place; on any failure the old file stays intact.
ReplaceResult WriteSettingsFile(const std::string& path, const TSettings& settings);

// The console's load at start: ReadSettingsFile of files.ReadPath, after files.Note on stderr.
TSettings LoadSettingsFile(const SettingsFiles& files);
// The console's save at close: WriteSettingsFile into files.WritePath, failing when there is none;
// a failure's reason goes to stderr (the operator gets the window's dialog).
ReplaceResult SaveSettingsFile(const SettingsFiles& files, const TSettings& settings);

} // namespace quorvel
