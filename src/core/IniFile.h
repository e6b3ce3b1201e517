// INI document in memory: sections of lines, each kept byte for byte with its own line end.
// Reading follows the Windows profile functions: section and key names match regardless of ASCII
// case, blanks around a value are dropped, and so are double or single quotes around it.
// Value type, no shared state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

class IniFile {
  public:
    // Longest value text handed out; the rest of a longer value is ignored.
    static constexpr std::size_t MaxValueLength = 2047;

    using KeyValues = std::vector<std::pair<std::string_view, std::string>>;

    IniFile() = default;
    explicit IniFile(std::string_view text);

    // The value of the key in the first section of that name, or nothing when it is absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::string Text(std::string_view section, std::string_view key,
                     std::string_view fallback) const;
    // Decimal with optional sign, or hexadecimal after "0x"; fallback when empty or unreadable.
    std::int32_t Integer(std::string_view section, std::string_view key,
                         std::int32_t fallback) const;

    // Gives the section exactly these keys, in this order, written as key=value (values as
    // IniValueText makes them); every other key line of the section (and of later sections of
    // the same name) goes. Comments, blank and other lines stay where they are, and so does the
    // section; a missing one is added at the end.
    void WriteSection(std::string_view section, const KeyValues& keys);

    // The line end of the first line that has one; empty for a text without any.
    std::string_view FirstLineEnd() const;
    // The line end of the lines WriteSection writes ("\n" unless set); with everyLine, Serialize
    // gives it to every line that has one.
    void SetLineEnd(std::string_view lineEnd, bool everyLine = false) {
        LineEnd = lineEnd;
        EveryLine = everyLine;
    }

    // The whole document: every line kept byte for byte, written lines with the chosen end.
    std::string Serialize() const;

  private:
    struct Line {
        std::string Text;
        std::string End; // "\r\n", "\n", or empty for a last line without one
    };
    struct Section {
        std::string Name;
        bool HasHeader = false; // false only for the lines before the first header
        Line Header;
        std::vector<Line> Lines;
    };

    const Section* FindSection(std::string_view name) const;
    std::vector<Line> MergeKeys(const std::vector<Line>& lines, const KeyValues& keys) const;

    std::vector<Section> Sections;
    std::string LineEnd = "\n";
    bool EveryLine = false;
};

// Reads an INI integer text; fallback when it is empty or not a 32-bit number.
std::int32_t ParseIniInteger(std::string_view text, std::int32_t fallback);

// The text to write after "=" so that the value reads back unchanged: quoted when blanks at its
// ends or quotes around it would otherwise be dropped; cut at a line break.
std::string IniValueText(std::string_view value);

} // namespace quorvel
