// Compact store of message log lines: a line that is a frame dump ("3A 30 31 ") is kept as its
// bytes and rendered back to the same text when read; any other text is kept as UTF-8. Keeps at
// least the newest Capacity lines (dropping whole pages of the oldest) within ByteBudget bytes.
// Not thread-safe; the owner's thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TFrameStore {
  public:
    static constexpr std::size_t PageLines = 4096;
    static constexpr std::size_t DefaultCapacity = 1'000'000;
    static constexpr std::size_t DefaultByteBudget = 60u << 20;

    explicit TFrameStore(std::size_t capacity = DefaultCapacity,
                         std::size_t byteBudget = DefaultByteBudget);

    void Append(std::string_view line);
    // A frame's bytes, read back as their dump ("3A 30 31 ").
    void AppendFrame(std::span<const std::uint8_t> frame);
    void Clear();

    std::size_t LineCount() const { return Count; }
    // Sequence number of the oldest line kept; lines are numbered from 0 since the store was
    // made, so a number stays with its line while older lines are dropped.
    std::uint64_t FirstSeq() const { return First; }
    std::string Line(std::size_t index) const; // index 0 is the oldest line kept
    // Bytes held by the pages (data and line starts, capacity included).
    std::size_t MemoryBytes() const { return Bytes; }

    // The bytes of a frame dump, or false when text is not exactly one.
    static bool ParseDump(std::string_view text, std::vector<std::uint8_t>& bytes);

  private:
    struct TPage {
        std::vector<std::uint8_t> Data;
        std::vector<std::uint32_t> Starts;
        std::size_t Footprint() const;
    };

    void Put(const std::uint8_t* data, std::size_t length, bool text);
    void DropOldestPage();

    std::deque<TPage> Pages;
    std::size_t Capacity;
    std::size_t ByteBudget;
    std::size_t Count = 0;
    std::uint64_t First = 0;
    std::size_t Bytes = 0;
    std::vector<std::uint8_t> Scratch;
};

} // namespace quorvel
