#include "FrameCodec.h"

#include "Functionsconvert.h"
#include "Functionsmodbus.h"

#include <cctype>

namespace quorvel::sim {

namespace {

// ':' + address, function and LRC pairs + CR LF.
constexpr std::size_t MinAsciiFrame = 1 + 3 * 2 + 2;
constexpr std::size_t MinRtuFrame = 4;

bool IsHexDigit(std::uint8_t c) {
    return std::isxdigit(c) != 0;
}

std::uint8_t Upper(std::uint8_t c) {
    return static_cast<std::uint8_t>(std::toupper(c));
}

// Hex pairs between ':' and CR LF as bytes; nullopt on anything that is not a hex pair.
std::optional<ByteString> AsciiBody(ByteView frame) {
    const std::size_t n = frame.size();
    if (n < MinAsciiFrame || frame[0] != ':' || frame[n - 2] != '\r' || frame[n - 1] != '\n' ||
        (n - 3) % 2 != 0) {
        return std::nullopt;
    }
    ByteString bytes;
    for (std::size_t i = 1; i + 1 < n - 2; i += 2) {
        if (!IsHexDigit(frame[i]) || !IsHexDigit(frame[i + 1])) {
            return std::nullopt;
        }
        // Lower-case digits are tolerated on input; replies always use upper case.
        bytes.push_back(HexPairToByte(Upper(frame[i]), Upper(frame[i + 1])));
    }
    return bytes;
}

std::optional<ByteString> RtuBody(ByteView frame) {
    const std::size_t n = frame.size();
    if (n < MinRtuFrame || n > 0xFFFF) {
        return std::nullopt;
    }
    const auto received = static_cast<std::uint16_t>(frame[n - 2] | frame[n - 1] << 8);
    if (Crc16(frame.data(), static_cast<std::uint16_t>(n - 2)) != received) {
        return std::nullopt;
    }
    return ByteString(frame.begin(), frame.end() - 2);
}

std::optional<ByteString> VerifiedMessage(LineMode mode, ByteView frame) {
    if (mode == LineMode::Rtu) {
        return RtuBody(frame);
    }
    auto bytes = AsciiBody(frame);
    if (!bytes) {
        return std::nullopt;
    }
    const std::uint8_t received = bytes->back();
    bytes->pop_back();
    if (Lrc(*bytes) != received) {
        return std::nullopt;
    }
    return bytes;
}

void AppendText(ByteString& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

} // namespace

std::optional<RequestFrame> DecodeFrame(LineMode mode, ByteView frame) {
    const auto message = VerifiedMessage(mode, frame);
    if (!message || message->size() < 2) {
        return std::nullopt;
    }
    RequestFrame request;
    request.address = (*message)[0];
    request.function = (*message)[1];
    request.data.assign(message->begin() + 2, message->end());
    return request;
}

ByteString EncodeFrame(LineMode mode, std::uint8_t address, std::uint8_t function, ByteView data) {
    ByteString message{address, function};
    message.insert(message.end(), data.begin(), data.end());
    if (mode == LineMode::Rtu) {
        const std::uint16_t crc = Crc16(message.data(), static_cast<std::uint16_t>(message.size()));
        message.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        message.push_back(static_cast<std::uint8_t>(crc >> 8));
        return message;
    }
    ByteString frame{':'};
    for (const std::uint8_t byte : message) {
        AppendText(frame, ByteToHex(byte));
    }
    AppendText(frame, ByteToHex(Lrc(message)));
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

void CorruptChecksum(LineMode mode, ByteString& frame) {
    if (mode == LineMode::Rtu) {
        if (frame.size() >= 2) {
            frame[frame.size() - 2] ^= 0xFF;
        }
        return;
    }
    if (frame.size() < 4) {
        return;
    }
    // The LRC is the pair just before CR LF; flipping all its bits keeps it two hex digits.
    const std::size_t at = frame.size() - 4;
    const std::uint8_t lrc = HexPairToByte(Upper(frame[at]), Upper(frame[at + 1]));
    const std::string bad = ByteToHex(static_cast<std::uint8_t>(~lrc));
    frame[at] = static_cast<std::uint8_t>(bad[0]);
    frame[at + 1] = static_cast<std::uint8_t>(bad[1]);
}

} // namespace quorvel::sim
