#include "IniFile.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

#ifdef _WIN32
#include <io.h> // _commit, _fileno
#else
#include <unistd.h> // fsync
#endif

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

// Key of a "key=value" line; nothing when the line has no "=".
std::optional<std::string_view> KeyOf(std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return TrimBlanks(line.substr(0, equals));
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

} // namespace

IniFile::IniFile(std::string_view text) {
    if (const auto newline = text.find('\n');
        newline != std::string_view::npos && newline > 0 && text[newline - 1] == '\r') {
        LineEnd = "\r\n";
    }
    Sections.push_back(Section{});
    while (!text.empty()) {
        const auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (const auto name = HeaderName(line)) {
            Sections.push_back(Section{std::string(*name), true, {}});
        } else {
            Sections.back().Lines.emplace_back(line);
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
    for (const std::string& line : found->Lines) {
        const auto lineKey = KeyOf(line);
        if (lineKey && SameName(*lineKey, key)) {
            const std::string_view value =
                TrimBlanks(std::string_view(line).substr(line.find('=') + 1));
            return std::string(value.substr(0, MaxValueLength));
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

void IniFile::RemoveSection(std::string_view section) {
    std::erase_if(Sections,
                  [&](const Section& s) { return s.HasHeader && SameName(s.Name, section); });
}

void IniFile::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    auto found = std::find_if(Sections.begin(), Sections.end(), [&](const Section& s) {
        return s.HasHeader && SameName(s.Name, section);
    });
    if (found == Sections.end()) {
        Sections.push_back(Section{std::string(section), true, {}});
        found = std::prev(Sections.end());
    }
    std::string line = std::string(key) + "=" + std::string(value);
    auto& lines = found->Lines;
    for (std::string& existing : lines) {
        const auto existingKey = KeyOf(existing);
        if (existingKey && SameName(*existingKey, key)) {
            existing = std::move(line);
            return;
        }
    }
    // New keys go after the last non-blank line, so blank separator lines stay at the end.
    auto insertAt = lines.end();
    while (insertAt != lines.begin() && TrimBlanks(*std::prev(insertAt)).empty()) {
        --insertAt;
    }
    lines.insert(insertAt, std::move(line));
}

std::string IniFile::Serialize() const {
    std::string text;
    for (const Section& section : Sections) {
        if (section.HasHeader) {
            text += "[" + section.Name + "]" + LineEnd;
        }
        for (const std::string& line : section.Lines) {
            text += line + LineEnd;
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

namespace fs = std::filesystem;

std::optional<std::string> ReadTextFile(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) {
        return std::nullopt;
    }
    return std::move(content).str();
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

namespace {

// Flushes the file's data from the system's cache to the disk.
bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return ::fsync(fileno(file)) == 0;
#endif
}

// Opening for appending writes nothing, but fails where the process may not write.
bool MayWrite(const std::string& path) {
    std::FILE* probe = std::fopen(path.c_str(), "ab");
    if (probe == nullptr) {
        return false;
    }
    std::fclose(probe);
    return true;
}

} // namespace

bool IsReadOnlyFile(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return false; // absent: a new file may be created
    }
    constexpr fs::perms anyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & anyWrite) == fs::perms::none) {
        return true; // judged by the bits: a privileged process could write it all the same
    }
    return fs::is_regular_file(status) && !MayWrite(path);
}

namespace {

std::size_t StdioWrite(std::FILE* file, const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file);
}

bool WriteAll(std::FILE* file, std::string_view content, const WriteChunkFunction& writeChunk) {
    while (!content.empty()) {
        const std::size_t written = writeChunk(file, content.data(), content.size());
        if (written == 0 || written > content.size()) {
            return false;
        }
        content.remove_prefix(written);
    }
    return std::fflush(file) == 0;
}

// A fresh name in the target's own folder, so the final rename stays on one disk.
std::optional<std::string> TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = std::random_device{}();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = path + ".tmp" + std::to_string(salt) + "." + std::to_string(counter++);
        std::error_code error;
        if (!fs::exists(name, error) && !error) {
            return name;
        }
    }
    return std::nullopt;
}

// A link is followed, so the file it names is replaced and the link itself stays.
std::optional<std::string> ResolveTarget(const std::string& path) {
    std::error_code error;
    if (!fs::is_symlink(path, error)) {
        return path;
    }
    const fs::path target = fs::canonical(path, error);
    if (error) {
        return std::nullopt; // a dangling link: nothing sensible to replace
    }
    return target.string();
}

bool WriteTemporary(const std::string& name, std::string_view content,
                    const WriteChunkFunction& writeChunk) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    bool ok = WriteAll(file, content, writeChunk) && SyncToDisk(file);
    ok = (std::fclose(file) == 0) && ok;
    return ok;
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view content) {
    return ReplaceFileAtomically(path, content, StdioWrite);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content,
                           const WriteChunkFunction& writeChunk) {
    const auto target = ResolveTarget(path);
    if (!target) {
        return false;
    }
    std::error_code error;
    const fs::file_status old = fs::status(*target, error);
    const bool exists = !error && fs::exists(old);
    if (exists && (!fs::is_regular_file(old) || IsReadOnlyFile(*target))) {
        return false;
    }
    const auto temporary = TemporaryNameFor(*target);
    if (!temporary) {
        return false;
    }
    bool ok = WriteTemporary(*temporary, content, writeChunk);
    if (ok && exists) {
        fs::permissions(*temporary, old.permissions(), error);
        ok = !error;
    }
    if (ok) {
        fs::rename(*temporary, *target, error); // replaces the old file in one step
        ok = !error;
    }
    if (!ok) {
        fs::remove(*temporary, error);
    }
    return ok;
}

} // namespace quorvel
