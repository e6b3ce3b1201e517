#include "IniFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <iterator>
#include <system_error>

namespace quorvel {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// "[name]" → name; nothing for any other line.
std::optional<std::string_view> HeaderName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    const auto close = line.find(']');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    return TrimBlanks(line.substr(1, close - 1));
}

std::optional<std::int64_t> ParseDigits(std::string_view digits, int base) {
    if (digits.empty() || digits.front() == '-') {
        return std::nullopt; // signs are handled by the caller, once
    }
    std::int64_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value, base);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

enum class LineKind { Blank, Comment, Key, Other };

LineKind KindOf(std::string_view line) {
    const std::string_view text = TrimBlanks(line);
    if (text.empty()) {
        return LineKind::Blank;
    }
    if (text.front() == ';' || text.front() == '#') {
        return LineKind::Comment;
    }
    return line.find('=') == std::string_view::npos ? LineKind::Other : LineKind::Key;
}

// The value part of a key line, as the profile functions give it.
std::string_view ValueOf(std::string_view line) {
    std::string_view value = TrimBlanks(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\'')) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, IniFile::MaxValueLength);
}

// Key of a "key=value" line; nothing for a comment or a line without "=".
std::optional<std::string_view> KeyOf(std::string_view line) {
    if (KindOf(line) != LineKind::Key) {
        return std::nullopt;
    }
    return TrimBlanks(line.substr(0, line.find('=')));
}

} // namespace

IniFile::IniFile(std::string_view text) {
    Sections.push_back(Section{});
    while (!text.empty()) {
        const auto newline = text.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.Text = std::string(text);
            text = {};
        } else {
            const bool crlf = newline > 0 && text[newline - 1] == '\r';
            line.Text = std::string(text.substr(0, crlf ? newline - 1 : newline));
            line.End = crlf ? "\r\n" : "\n";
            text.remove_prefix(newline + 1);
        }
        if (const auto name = HeaderName(line.Text)) {
            Sections.push_back(Section{std::string(*name), true, std::move(line), {}});
        } else {
            Sections.back().Lines.push_back(std::move(line));
        }
    }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
    const auto found = std::find_if(Sections.begin(), Sections.end(), [&](const Section& s) {
        return s.HasHeader && SameName(s.Name, name);
    });
    return found == Sections.end() ? nullptr : &*found;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    for (const Line& line : found->Lines) {
        const auto lineKey = KeyOf(line.Text);
        if (lineKey && SameName(*lineKey, key)) {
            return std::string(ValueOf(line.Text));
        }
    }
    return std::nullopt;
}

std::string IniFile::Text(std::string_view section, std::string_view key,
                          std::string_view fallback) const {
    auto value = Value(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

std::int32_t IniFile::Integer(std::string_view section, std::string_view key,
                              std::int32_t fallback) const {
    const auto value = Value(section, key);
    return value ? ParseIniInteger(*value, fallback) : fallback;
}

// Each existing key line in the table's order is replaced by its new line, with any keys that
// come before it in the table and are missing put just ahead of it, so comments keep their
// places beside their keys; a line of an unknown key, a repeated or out-of-order one is dropped.
std::vector<IniFile::Line> IniFile::MergeKeys(const std::vector<Line>& lines,
                                              const KeyValues& keys) const {
    std::vector<Line> merged;
    std::size_t next = 0;
    std::size_t afterLastKey = 0;
    const auto emitUpTo = [&](std::size_t last) {
        for (; next <= last; ++next) {
            Line line{std::string(keys[next].first), LineEnd};
            line.Text.push_back('=');
            line.Text.append(IniValueText(keys[next].second));
            merged.push_back(std::move(line));
        }
        afterLastKey = merged.size();
    };
    for (const Line& line : lines) {
        const auto key = KeyOf(line.Text);
        if (!key) {
            merged.push_back(line);
            continue;
        }
        const auto known = std::find_if(keys.begin(), keys.end(), [&](const auto& entry) {
            return SameName(entry.first, *key);
        });
        const auto index = static_cast<std::size_t>(std::distance(keys.begin(), known));
        if (known != keys.end() && index >= next) {
            emitUpTo(index);
        }
    }
    // The rest goes after the last key written, or else before the section's closing blanks.
    if (next == 0) {
        afterLastKey = merged.size();
        while (afterLastKey > 0 && KindOf(merged[afterLastKey - 1].Text) == LineKind::Blank) {
            --afterLastKey;
        }
    }
    std::vector<Line> tail(merged.begin() + static_cast<std::ptrdiff_t>(afterLastKey),
                           merged.end());
    merged.resize(afterLastKey);
    if (!keys.empty() && next < keys.size()) {
        emitUpTo(keys.size() - 1);
    }
    merged.insert(merged.end(), tail.begin(), tail.end());
    return merged;
}

void IniFile::WriteSection(std::string_view section, const KeyValues& keys) {
    bool first = true;
    for (Section& s : Sections) {
        if (!s.HasHeader || !SameName(s.Name, section)) {
            continue;
        }
        if (first) {
            s.Lines = MergeKeys(s.Lines, keys);
            first = false;
        } else {
            std::erase_if(s.Lines, [](const Line& line) { return KeyOf(line.Text).has_value(); });
        }
    }
    if (first) {
        Section added{std::string(section), true, Line{"[", LineEnd}, MergeKeys({}, keys)};
        added.Header.Text.append(section).push_back(']');
        Sections.push_back(std::move(added));
    }
}

std::string_view IniFile::FirstLineEnd() const {
    for (const Section& section : Sections) {
        if (section.HasHeader && !section.Header.End.empty()) {
            return section.Header.End;
        }
        for (const Line& line : section.Lines) {
            if (!line.End.empty()) {
                return line.End;
            }
        }
    }
    return {};
}

std::string IniFile::Serialize() const {
    std::string text;
    bool open = false; // the last line written has no line end yet
    const auto put = [&](const Line& line) {
        if (open) {
            text += LineEnd;
        }
        text += line.Text;
        text += (EveryLine && !line.End.empty()) ? std::string_view(LineEnd) : line.End;
        open = line.End.empty();
    };
    for (const Section& section : Sections) {
        if (section.HasHeader) {
            put(section.Header);
        }
        for (const Line& line : section.Lines) {
            put(line);
        }
    }
    return text;
}

std::int32_t ParseIniInteger(std::string_view text, std::int32_t fallback) {
    text = TrimBlanks(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::string_view digits = text.substr(2);
        // Hexadecimal is a 32-bit pattern: 0xFFFFFFFF reads as -1.
        const auto value = ParseDigits(digits, 16);
        if (!value || *value > 0xFFFFFFFFLL) {
            return fallback;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
    }
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        return fallback;
    }
    const auto magnitude = ParseDigits(text, 10);
    if (!magnitude) {
        return fallback;
    }
    const std::int64_t value = negative ? -*magnitude : *magnitude;
    if (value < INT32_MIN || value > INT32_MAX) {
        return fallback;
    }
    return static_cast<std::int32_t>(value);
}

std::string IniValueText(std::string_view value) {
    const auto cut = value.find('\n');
    if (cut != std::string_view::npos) {
        value = value.substr(0, cut);
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                        (value.front() == '"' || value.front() == '\'');
    if (!value.empty() && (blank(value.front()) || blank(value.back()) || quoted)) {
        std::string text;
        text.reserve(value.size() + 2);
        text.push_back('"');
        text.append(value);
        text.push_back('"');
        return text;
    }
    return std::string(value);
}

} // namespace quorvel
