#include "Functionsload.h"

#include "FileAccess.h"
#include "IniEncoding.h"
#include "IniFile.h"

#include <cstdio>

namespace quorvel {

namespace {

constexpr std::int16_t DefaultLeft = 50;
constexpr std::int16_t DefaultTop = 50;
constexpr std::uint32_t DefaultBaudrate = 38400;
constexpr std::uint8_t DefaultMode = ModeASCII;
constexpr std::uint8_t DefaultAddress = 1;
constexpr std::uint16_t DefaultTimerASCII = 55;
constexpr std::uint16_t DefaultTimerRTU = 4;
constexpr std::uint8_t DefaultMax = 5;

// The window edge is stored as the 16-bit field; off-screen to the left or top loads as 0.
std::int16_t ReadEdge(const IniFile& ini, std::string_view key, std::int16_t fallback) {
    const auto edge = static_cast<std::int16_t>(ini.Integer(SettingsSection, key, fallback));
    return edge < 0 ? std::int16_t{0} : edge;
}

template <typename Field>
Field ReadLowBits(const IniFile& ini, std::string_view key, Field fallback) {
    return static_cast<Field>(ini.Integer(SettingsSection, key, fallback));
}

bool ReadFlag(const IniFile& ini, std::string_view key) {
    return ini.Integer(SettingsSection, key, 0) != 0;
}

std::string Decimal(std::int64_t value) {
    return std::to_string(value);
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

void Report(const std::string& text) {
    std::fprintf(stderr, "quorvel: %s\n", text.c_str());
}

} // namespace

std::string SettingsFilePath(const std::string& executablePath) {
    const auto separator = executablePath.find_last_of("/\\");
    const auto nameStart = separator == std::string::npos ? 0 : separator + 1;
    const auto dot = executablePath.rfind('.');
    if (dot == std::string::npos || dot < nameStart) {
        return executablePath + ".ini";
    }
    return executablePath.substr(0, dot) + ".ini";
}

TSettings ReadSettingsFile(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    if (!bytes && FileExists(path)) {
        Report("settings file " + path +
               " is not a regular file or cannot be read; read as absent");
    }
    return ParseSettings(bytes.value_or(std::string()));
}

TSettings ParseSettings(std::string_view fileBytes) {
    const IniFile ini(DecodeText(fileBytes).Text);
    TSettings settings;
    settings.Left = ReadEdge(ini, "Left", DefaultLeft);
    settings.Top = ReadEdge(ini, "Top", DefaultTop);
    settings.Port = ini.Text(SettingsSection, "Port", "");
    settings.Baudrate = ReadLowBits<std::uint32_t>(ini, "Baudrate", DefaultBaudrate);
    settings.Mode = ReadLowBits<std::uint8_t>(ini, "Mode", DefaultMode);
    settings.Address = ReadLowBits<std::uint8_t>(ini, "Address", DefaultAddress);
    settings.TimerASCII = ReadLowBits<std::uint16_t>(ini, "TimerASCII", DefaultTimerASCII);
    settings.TimerRTU = ReadLowBits<std::uint16_t>(ini, "TimerRTU", DefaultTimerRTU);
    settings.Diagram = ReadFlag(ini, "Diagram");
    settings.Max = ReadLowBits<std::uint8_t>(ini, "Max", DefaultMax);
    settings.Messages = ReadFlag(ini, "Messages");
    settings.PollInterval = 0;
    return settings;
}

std::string MergeSettings(std::string_view fileBytes, const TSettings& settings) {
    const DecodedText decoded = DecodeText(fileBytes);
    IniFile ini(decoded.Text);
    const LineEndRule lineEnd = LineEndForWriting(ini.FirstLineEnd());
    ini.SetLineEnd(lineEnd.End, lineEnd.EveryLine);
    ini.WriteSection(SettingsSection,
                     {{"Left", Decimal(settings.Left)},
                      {"Top", Decimal(settings.Top)},
                      {"Port", settings.Port},
                      {"Baudrate", Decimal(static_cast<std::int32_t>(settings.Baudrate))},
                      {"Mode", Decimal(settings.Mode)},
                      {"Address", Decimal(settings.Address)},
                      {"TimerASCII", Decimal(settings.TimerASCII)},
                      {"TimerRTU", Decimal(settings.TimerRTU)},
                      {"Diagram", Flag(settings.Diagram)},
                      {"Max", Decimal(settings.Max)},
                      {"Messages", Flag(settings.Messages)}});
    return EncodeText(ini.Serialize(), decoded.Encoding);
}

ReplaceResult WriteSettingsFile(const std::string& path, const TSettings& settings) {
    const auto existing = ReadFileBytes(path);
    if (!existing && FileExists(path)) {
        // Rewriting it blind would drop its other sections.
        return {ReplaceOutcome::Failed, "the old file is not a regular file or cannot be read"};
    }
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !CreateFolders(path.substr(0, slash))) {
        return {ReplaceOutcome::Failed, "the folder cannot be created"};
    }
    return ReplaceFileContent(path, MergeSettings(existing.value_or(std::string()), settings));
}

TSettings LoadSettingsFile(const SettingsFiles& files) {
    if (!files.Note.empty()) {
        Report(files.Note);
    }
    return ReadSettingsFile(files.ReadPath);
}

ReplaceResult SaveSettingsFile(const SettingsFiles& files, const TSettings& settings) {
    ReplaceResult result = files.WritePath.empty()
                               ? ReplaceResult{ReplaceOutcome::Failed, files.Note}
                               : WriteSettingsFile(files.WritePath, settings);
    if (!result) {
        const std::string path = files.WritePath.empty() ? files.ReadPath : files.WritePath;
        Report("settings not saved to " + path + ": " + result.Reason);
    }
    return result;
}

} // namespace quorvel
