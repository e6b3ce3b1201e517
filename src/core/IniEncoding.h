// The settings file's text encoding: plain bytes (UTF-8 or ANSI), UTF-8 with a byte order mark,
// or UTF-16 with one (Notepad's "Unicode"). Decoding to UTF-8 and encoding back are lossless,
// so a file is written in the encoding it was read in. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

enum class TextEncoding { Plain, Utf8Bom, Utf16LE, Utf16BE };

struct DecodedText {
    std::string Text; // UTF-8; a UTF-16 file's unpaired surrogates kept as 3-byte sequences
    TextEncoding Encoding = TextEncoding::Plain;
};

// Chooses the encoding by the byte order mark; the mark itself is not part of Text.
DecodedText DecodeText(std::string_view bytes);
// The file's bytes for the text in that encoding, byte order mark included.
std::string EncodeText(std::string_view text, TextEncoding encoding);

} // namespace quorvel
