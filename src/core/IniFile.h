// INI document in memory (sections of key=value lines) plus its file read and atomic replace.
// Section and key names match regardless of ASCII case; texts are the file's bytes unchanged.
// Value type, no shared state; the file functions block and are safe from any one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class IniFile {
  public:
    // Longest value text handed out; the rest of a longer value is ignored.
    static constexpr std::size_t MaxValueLength = 2047;

    IniFile() = default;
    explicit IniFile(std::string_view text);

    // The value text after "=" (blanks around it removed), or nothing when the key is absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::string Text(std::string_view section, std::string_view key,
                     std::string_view fallback) const;
    // Decimal with optional sign, or hexadecimal after "0x"; fallback when empty or unreadable.
    std::int32_t Integer(std::string_view section, std::string_view key,
                         std::int32_t fallback) const;

    // Removes every section of that name with all its lines.
    void RemoveSection(std::string_view section);
    // Replaces the key's line, or adds it (and the section at the end when it is missing).
    void SetValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole document, with the line ending the parsed text used ("\n" by default).
    std::string Serialize() const;

  private:
    struct Section {
        std::string Name;
        bool HasHeader = false; // false only for the lines before the first header
        std::vector<std::string> Lines;
    };

    const Section* FindSection(std::string_view name) const;

    std::vector<Section> Sections;
    std::string LineEnd = "\n";
};

// Reads an INI integer text; fallback when it is empty or not a 32-bit number.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t fallback);

// The file's bytes, or nothing when it does not exist or cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path);
bool FileExists(const std::string& path);

// True when the file exists and must not be replaced: no write permission bit at all
// (checked by bits, so a privileged process honours it too) or not openable for writing.
bool IsReadOnlyFile(const std::string& path);

// Writes up to size bytes to the open file; returns the count written, 0 on failure (fwrite).
using WriteChunkFunction =
    std::function<std::size_t(std::FILE* file, const char* data, std::size_t size)>;

// Replaces the file by a complete new one in one step: writes a temporary file in the same
// folder, flushes it to disk and renames it over the old one. A read-only file is left alone.
// False on any failure; the old file is then unchanged and no temporary file remains.
bool ReplaceFileAtomically(const std::string& path, std::string_view content);
bool ReplaceFileAtomically(const std::string& path, std::string_view content,
                           const WriteChunkFunction& writeChunk);

} // namespace quorvel
