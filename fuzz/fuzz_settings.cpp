// Fuzzes the settings file: the input is a whole file. It is read, saved with the record it gave
// and read again: the record must come back equal, the saved file must keep its encoding, every
// line outside the settings section and every non-key line inside it must survive unchanged, the
// section must hold exactly the eleven keys in order, and a second save must change nothing.
#include "Functionsload.h"
#include "IniEncoding.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using quorvel::TSettings;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_settings: %s\n", what);
    std::abort();
}

bool SameRecord(const TSettings& a, const TSettings& b) {
    return a.Left == b.Left && a.Top == b.Top && a.Port == b.Port && a.Address == b.Address &&
           a.Mode == b.Mode && a.Baudrate == b.Baudrate && a.PollInterval == b.PollInterval &&
           a.TimerASCII == b.TimerASCII && a.TimerRTU == b.TimerRTU && a.Diagram == b.Diagram &&
           a.Max == b.Max && a.Messages == b.Messages;
}

// An independent reading of the file's structure, line by line, to judge what was kept.
struct Line {
    std::string_view Text;
    std::string_view End;
};

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back({text, {}});
            break;
        }
        const bool crlf = newline > 0 && text[newline - 1] == '\r';
        lines.push_back({text.substr(0, crlf ? newline - 1 : newline),
                         text.substr(crlf ? newline - 1 : newline, crlf ? 2 : 1)});
        text.remove_prefix(newline + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Section name of a header line, or nothing.
bool HeaderName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    const auto close = line.find(']');
    if (line.empty() || line.front() != '[' || close == std::string_view::npos) {
        return false;
    }
    name = Trim(line.substr(1, close - 1));
    return true;
}

bool IsSettingsSection(std::string_view name) {
    constexpr std::string_view wanted = "quorvel";
    if (name.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != wanted[i]) {
            return false;
        }
    }
    return true;
}

bool IsKeyLine(std::string_view line) {
    const std::string_view text = Trim(line);
    return !text.empty() && text.front() != ';' && text.front() != '#' &&
           line.find('=') != std::string_view::npos;
}

// Every line but the key lines of settings sections, and the key lines of the first one.
struct Structure {
    std::vector<Line> Kept;
    std::vector<std::string_view> Keys;
    int SettingsSections = 0;
};

Structure Analyse(std::string_view text) {
    Structure result;
    bool inSettings = false;
    for (const Line& line : SplitLines(text)) {
        std::string_view name;
        if (HeaderName(line.Text, name)) {
            inSettings = IsSettingsSection(name);
            result.SettingsSections += inSettings ? 1 : 0;
        } else if (inSettings && IsKeyLine(line.Text)) {
            if (result.SettingsSections == 1) {
                result.Keys.push_back(Trim(line.Text.substr(0, line.Text.find('='))));
            }
            continue;
        }
        result.Kept.push_back(line);
    }
    return result;
}

void CheckKept(const Structure& before, const Structure& after) {
    const std::size_t added = before.SettingsSections == 0 ? 1 : 0;
    if (after.Kept.size() != before.Kept.size() + added) {
        Fail("a line was lost or added");
    }
    for (std::size_t i = 0; i < before.Kept.size(); ++i) {
        const Line& was = before.Kept[i];
        const Line& now = after.Kept[i];
        if (was.Text != now.Text) {
            Fail("a kept line changed");
        }
        // Only a last line without an end may gain one, when something follows it now.
        if (was.End != now.End && !(was.End.empty() && i + 1 == before.Kept.size())) {
            Fail("a kept line's end changed");
        }
    }
    static constexpr std::string_view keys[] = {"Left",    "Top",     "Port",       "Baudrate",
                                                "Mode",    "Address", "TimerASCII", "TimerRTU",
                                                "Diagram", "Max",     "Messages"};
    if (after.Keys.size() != std::size(keys) ||
        !std::equal(after.Keys.begin(), after.Keys.end(), std::begin(keys))) {
        Fail("the section does not hold the eleven keys in order");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const TSettings first = quorvel::ParseSettings(file);
    const std::string saved = quorvel::MergeSettings(file, first);
    if (!SameRecord(quorvel::ParseSettings(saved), first)) {
        Fail("the record did not come back equal");
    }
    const quorvel::DecodedText before = quorvel::DecodeText(file);
    const quorvel::DecodedText after = quorvel::DecodeText(saved);
    if (after.Encoding != before.Encoding ||
        quorvel::EncodeText(after.Text, after.Encoding) != saved) {
        Fail("the encoding changed or is mixed");
    }
    CheckKept(Analyse(before.Text), Analyse(after.Text));
    if (quorvel::MergeSettings(saved, first) != saved) {
        Fail("a second save changed the file");
    }
    return 0;
}
