#include "Functionsload.h"

#include "IniFile.h"

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

std::string_view Flag(bool value) {
    return value ? "1" : "0";
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
    const IniFile ini(ReadTextFile(path).value_or(std::string()));
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

bool WriteSettingsFile(const std::string& path, const TSettings& settings) {
    const auto existing = ReadTextFile(path);
    if (!existing && FileExists(path)) {
        return false; // rewriting it blind would drop its other sections
    }
    IniFile ini(existing.value_or(std::string()));
    ini.RemoveSection(SettingsSection);
    ini.SetValue(SettingsSection, "Left", Decimal(settings.Left));
    ini.SetValue(SettingsSection, "Top", Decimal(settings.Top));
    ini.SetValue(SettingsSection, "Port", settings.Port);
    ini.SetValue(SettingsSection, "Baudrate", Decimal(settings.Baudrate));
    ini.SetValue(SettingsSection, "Mode", Decimal(settings.Mode));
    ini.SetValue(SettingsSection, "Address", Decimal(settings.Address));
    ini.SetValue(SettingsSection, "TimerASCII", Decimal(settings.TimerASCII));
    ini.SetValue(SettingsSection, "TimerRTU", Decimal(settings.TimerRTU));
    ini.SetValue(SettingsSection, "Diagram", Flag(settings.Diagram));
    ini.SetValue(SettingsSection, "Max", Decimal(settings.Max));
    ini.SetValue(SettingsSection, "Messages", Flag(settings.Messages));
    return ReplaceFileAtomically(path, ini.Serialize());
}

} // namespace quorvel
