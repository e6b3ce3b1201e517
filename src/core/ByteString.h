// Counted 8-bit strings for frames, chunks and buffers: zero bytes are ordinary data.
// Value type; no threading concerns of its own.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorvel {

using ByteString = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Bytes of a text literal, for tests and ASCII frames; the text's length counts, not a terminator.
inline ByteString BytesOf(std::string_view text) {
    return ByteString(text.begin(), text.end());
}

} // namespace quorvel
