// Request framing and reply check for the Modbus serial line. Any Mode other than RTU frames
// and checks as ASCII, the mode the settings load falls back to.
#include "Functionsmodbus.h"

#include "Functionsconvert.h"

#include <algorithm>

namespace quorvel {

namespace {

constexpr std::uint8_t FunctionRead = 0x03;
constexpr std::uint8_t FunctionReadInput = 0x04;
constexpr std::uint8_t FunctionWrite = 0x06;
constexpr std::uint8_t FunctionReadFileRecord = 0x14;
constexpr std::uint8_t ReferenceTypeFile = 6;
constexpr std::uint8_t AsciiStart = ':';
constexpr std::uint8_t CarriageReturn = 0x0D;
constexpr std::uint8_t LineFeed = 0x0A;
// Shortest ASCII exception reply: ":" + address, function, code and LRC pairs + CR LF.
constexpr std::size_t AsciiExceptionLength = 11;
constexpr std::size_t RtuExceptionLength = 5;

// Table entry for one index: the index shifted through the reflected 0xA001 polynomial bit by bit.
constexpr std::uint16_t CrcOfIndex(std::uint8_t index) {
    std::uint16_t crc = index;
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001U)
                         : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// The two byte tables of the serial-line CRC: `first` holds the low byte of each index's CRC
// (XORed into the register's low byte), `second` the high byte (the register's new high byte).
struct CrcTables {
    std::array<std::uint8_t, 256> first{};
    std::array<std::uint8_t, 256> second{};
};

constexpr CrcTables MakeCrcTables() {
    CrcTables tables;
    for (int i = 0; i < 256; ++i) {
        const std::uint16_t crc = CrcOfIndex(static_cast<std::uint8_t>(i));
        tables.first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc & 0xFF);
        tables.second[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(crc >> 8);
    }
    return tables;
}

constexpr CrcTables Tables = MakeCrcTables();
static_assert(Tables.first[0] == 0x00 && Tables.first[1] == 0xC1 && Tables.first[2] == 0x81 &&
              Tables.first[3] == 0x40);
static_assert(Tables.second[0] == 0x00 && Tables.second[1] == 0xC0 && Tables.second[2] == 0xC1 &&
              Tables.second[3] == 0x01);

bool IsRtu(const TSettings& settings) {
    return settings.Mode == ModeRTU;
}

std::array<std::uint8_t, 6> MessageBytes(std::uint8_t address, std::uint8_t function,
                                         std::uint16_t reg, std::uint16_t word) {
    return {address,
            function,
            static_cast<std::uint8_t>(reg >> 8),
            static_cast<std::uint8_t>(reg & 0xFF),
            static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word & 0xFF)};
}

void AppendText(ByteString& frame, const std::string& text) {
    frame.insert(frame.end(), text.begin(), text.end());
}

ByteString AsciiFrame(const std::array<std::uint8_t, 6>& message) {
    ByteString frame;
    frame.reserve(17);
    frame.push_back(AsciiStart);
    for (std::uint8_t byte : message) {
        AppendText(frame, ByteToHex(byte));
    }
    AppendText(frame, ByteToHex(Lrc(message)));
    frame.push_back(CarriageReturn);
    frame.push_back(LineFeed);
    return frame;
}

ByteString RtuFrame(const std::array<std::uint8_t, 6>& message) {
    ByteString frame(message.begin(), message.end());
    const std::uint16_t crc = Crc16(message.data(), static_cast<std::uint16_t>(message.size()));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

ByteString BuildRequest(const TSettings& settings, std::uint8_t function, std::uint16_t reg,
                        std::uint16_t word) {
    const auto message = MessageBytes(settings.Address, function, reg, word);
    return IsRtu(settings) ? RtuFrame(message) : AsciiFrame(message);
}

bool IsException(std::uint8_t function) {
    return function == 0x83 || function == 0x84 || function == 0x86 || function == 0x94;
}

bool IsEcho(ByteView received, ByteView lastSent) {
    return std::ranges::equal(received, lastSent);
}

// Positions count from 1, as the frame layout is described; every read is bounds-checked.
class AsciiReply {
  public:
    explicit AsciiReply(ByteView text) : text_(text) {}
    std::size_t Size() const { return text_.size(); }
    bool Holds(std::size_t position, std::size_t count) const {
        return position >= 1 && position - 1 + count <= text_.size();
    }
    std::uint8_t At(std::size_t position) const { return text_[position - 1]; }
    std::uint8_t Pair(std::size_t p) const { return HexPairToByte(At(p), At(p + 1)); }
    std::uint16_t Quad(std::size_t p) const {
        return HexQuadToWord(At(p), At(p + 1), At(p + 2), At(p + 3));
    }
    bool EndsWithCrLf() const {
        return Size() >= 2 && At(Size() - 1) == CarriageReturn && At(Size()) == LineFeed;
    }

  private:
    ByteView text_;
};

FrameCheck SumVerdict(std::uint16_t sum, FrameCheck whenZero) {
    return (sum & 0xFF) == 0 ? whenZero : BadFrame;
}

// Sums `count` pairs from `first` and decodes up to 32 words from the same position.
std::uint16_t SumAndDecode(const AsciiReply& reply, std::size_t first, std::size_t pairs,
                           std::size_t words, ResponseWordArray& responseWords) {
    std::uint16_t sum = 0;
    for (std::size_t k = 0; k < pairs; ++k) {
        sum = static_cast<std::uint16_t>(sum + reply.Pair(first + 2 * k));
    }
    for (std::size_t i = 0; i < std::min(words, ResponseWordCount); ++i) {
        responseWords[i] = reply.Quad(first + 4 * i);
    }
    return sum;
}

FrameCheck AsciiReadReply(const AsciiReply& reply, std::uint16_t sum,
                          ResponseWordArray& responseWords) {
    if (!reply.Holds(6, 2)) {
        return BadFrame;
    }
    const std::size_t n = reply.Pair(6);
    sum = static_cast<std::uint16_t>(sum + n);
    if (reply.Size() < 2 * n + 11) {
        return BadFrame;
    }
    sum = static_cast<std::uint16_t>(sum + SumAndDecode(reply, 8, n + 1, n / 2, responseWords));
    return SumVerdict(sum, Good);
}

FrameCheck AsciiFileRecordReply(const AsciiReply& reply, std::uint16_t sum,
                                ResponseWordArray& responseWords) {
    if (!reply.Holds(8, 2)) {
        return BadFrame;
    }
    const std::uint8_t byteCount = reply.Pair(6);
    const std::uint8_t length = reply.Pair(8);
    sum = static_cast<std::uint16_t>(sum + byteCount + length);
    // A zero sub-response length wraps to 255 data bytes, as 8-bit hardware would count it.
    const std::size_t d = static_cast<std::uint8_t>(length - 1);
    if (reply.Size() < 2 * d + 15) {
        return BadFrame;
    }
    const std::uint8_t referenceType = reply.Pair(10);
    sum = static_cast<std::uint16_t>(sum + referenceType);
    if (referenceType != ReferenceTypeFile) {
        return BadFrame;
    }
    sum = static_cast<std::uint16_t>(sum + SumAndDecode(reply, 12, d + 1, d / 2, responseWords));
    return SumVerdict(sum, Good);
}

FrameCheck AsciiExceptionReply(const AsciiReply& reply, std::uint16_t sum) {
    // Shorter than a whole exception frame: its LRC is not all there.
    if (reply.Size() < AsciiExceptionLength) {
        return BadFrame;
    }
    sum = static_cast<std::uint16_t>(sum + reply.Pair(6) + reply.Pair(8));
    return SumVerdict(sum, ExceptionReply);
}

FrameCheck CheckAscii(std::uint8_t address, ByteView received, ByteView lastSent,
                      ResponseWordArray& responseWords) {
    const AsciiReply reply(received);
    if (reply.Holds(1, 1) && reply.At(1) != AsciiStart) {
        return BadFrame;
    }
    if (!reply.Holds(2, 2)) {
        return Incomplete; // the address is not there yet
    }
    const std::uint8_t a = reply.Pair(2);
    if (a != address) {
        return BadFrame;
    }
    if (!reply.EndsWithCrLf()) {
        return Incomplete;
    }
    if (!reply.Holds(4, 2)) {
        return BadFrame; // ended before its function code
    }
    const std::uint8_t f = reply.Pair(4);
    const auto sum = static_cast<std::uint16_t>(a + f);
    if (f == FunctionRead || f == FunctionReadInput) {
        return AsciiReadReply(reply, sum, responseWords);
    }
    if (f == FunctionWrite) {
        return IsEcho(received, lastSent) ? Good : BadFrame;
    }
    if (f == FunctionReadFileRecord) {
        return AsciiFileRecordReply(reply, sum, responseWords);
    }
    if (IsException(f)) {
        return AsciiExceptionReply(reply, sum);
    }
    return BadFrame;
}

std::uint16_t CrcAt(ByteView bytes, std::size_t lowIndex) {
    return static_cast<std::uint16_t>(bytes[lowIndex] | (bytes[lowIndex + 1] << 8));
}

FrameCheck RtuReadReply(ByteView received, ResponseWordArray& responseWords) {
    if (received.size() < 3) {
        return Incomplete; // the byte count is not there yet
    }
    const std::size_t n = received[2];
    if (received.size() < n + 5) {
        return Incomplete;
    }
    if (received.size() > n + 5) {
        return BadFrame;
    }
    for (std::size_t i = 0; i < std::min(n / 2, ResponseWordCount); ++i) {
        responseWords[i] =
            static_cast<std::uint16_t>(received[3 + 2 * i] << 8 | received[4 + 2 * i]);
    }
    const auto crc = Crc16(received.data(), static_cast<std::uint16_t>(n + 3));
    return crc == CrcAt(received, n + 3) ? Good : BadFrame;
}

FrameCheck RtuExceptionReply(ByteView received) {
    if (received.size() < RtuExceptionLength) {
        return Incomplete; // the CRC is not there yet
    }
    return Crc16(received.data(), 3) == CrcAt(received, 3) ? ExceptionReply : BadFrame;
}

FrameCheck CheckRtu(std::uint8_t address, ByteView received, ByteView lastSent,
                    ResponseWordArray& responseWords) {
    if (received.size() < 2) {
        return received.empty() || received[0] == address ? Incomplete : BadFrame;
    }
    if (received[0] != address) {
        return BadFrame;
    }
    const std::uint8_t f = received[1];
    if (f == FunctionRead || f == FunctionReadInput) {
        return RtuReadReply(received, responseWords);
    }
    if (f == FunctionWrite) {
        return IsEcho(received, lastSent) ? Good : BadFrame;
    }
    if (f == FunctionReadFileRecord) {
        return Good; // accepted unverified, nothing decoded
    }
    if (IsException(f)) {
        return RtuExceptionReply(received);
    }
    return BadFrame;
}

} // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::uint16_t count) {
    std::uint8_t low = 0xFF;
    std::uint8_t high = 0xFF;
    for (std::uint16_t k = 0; k < count; ++k) {
        const std::uint8_t index = static_cast<std::uint8_t>(bytes[k] ^ low);
        low = static_cast<std::uint8_t>(high ^ Tables.first[index]);
        high = Tables.second[index];
    }
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::uint8_t Lrc(ByteView message) {
    std::uint16_t sum = 0;
    for (std::uint8_t byte : message) {
        sum = static_cast<std::uint16_t>(sum + byte);
    }
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

ByteString BuildReadRequest(const TSettings& settings, std::uint16_t reg) {
    return BuildRequest(settings, FunctionRead, reg, 1);
}

ByteString BuildWriteRequest(const TSettings& settings, std::uint16_t reg, std::uint16_t value) {
    return BuildRequest(settings, FunctionWrite, reg, value);
}

std::chrono::microseconds FrameLineTime(const TSettings& settings, std::size_t bytes) {
    if (settings.Baudrate == 0) {
        return std::chrono::microseconds{0};
    }
    const std::uint64_t bits = bytes * (IsRtu(settings) ? 11U : 10U);
    const std::uint64_t baud = settings.Baudrate;
    return std::chrono::microseconds{(bits * 1'000'000U + baud - 1) / baud};
}

FrameCheck CheckReply(const TSettings& settings, ByteView received, ByteView lastSent,
                      ResponseWordArray& responseWords) {
    if (IsRtu(settings)) {
        return CheckRtu(settings.Address, received, lastSent, responseWords);
    }
    return CheckAscii(settings.Address, received, lastSent, responseWords);
}

} // namespace quorvel
