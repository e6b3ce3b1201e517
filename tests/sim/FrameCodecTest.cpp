#include "FrameCodec.h"

#include "SimTestFrames.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

using namespace testframes;

struct DecodeCase {
    const char* name;
    LineMode mode;
    ByteString frame;
    std::optional<std::uint8_t> address; // nullopt: the frame must be refused
    std::uint8_t function;
    ByteString data;
};

class DecodesRequest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodesRequest, OrRefusesIt) {
    const DecodeCase& c = GetParam();
    const auto request = DecodeFrame(c.mode, c.frame);
    ASSERT_EQ(request.has_value(), c.address.has_value());
    if (request) {
        EXPECT_EQ(request->address, *c.address);
        EXPECT_EQ(request->function, c.function);
        EXPECT_EQ(request->data, c.data);
    }
}

ByteString WithByteChanged(ByteString frame, std::size_t at, std::uint8_t value) {
    frame[at] = value;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DecodesRequest,
    ::testing::Values(
        DecodeCase{
            "AsciiRead", LineMode::Ascii, AsciiReadFrequency, 1, 3, {0xF0, 0x98, 0x00, 0x01}},
        DecodeCase{
            "AsciiWrite", LineMode::Ascii, AsciiWriteReference, 1, 6, {0xF5, 0x10, 0x13, 0x88}},
        DecodeCase{"AsciiAddress16",
                   LineMode::Ascii,
                   AsciiReadCurrentAt16,
                   16,
                   3,
                   {0xF0, 0xA0, 0x00, 0x01}},
        DecodeCase{"AsciiLowerCaseDigitsTolerated",
                   LineMode::Ascii,
                   Ascii(":0103f098000173"),
                   1,
                   3,
                   {0xF0, 0x98, 0x00, 0x01}},
        DecodeCase{"AsciiWrongLrc", LineMode::Ascii, Ascii(":0103F098000174"), std::nullopt, 0, {}},
        DecodeCase{
            "AsciiOddDigitCount", LineMode::Ascii, Ascii(":0103F09800017"), std::nullopt, 0, {}},
        DecodeCase{
            "AsciiNonHexCharacter", LineMode::Ascii, Ascii(":0103G098000173"), std::nullopt, 0, {}},
        DecodeCase{"AsciiTooShortForAnLrc", LineMode::Ascii, Ascii(":01FF"), std::nullopt, 0, {}},
        DecodeCase{
            "AsciiMissingColon", LineMode::Ascii, Ascii("0103F098000173"), std::nullopt, 0, {}},
        DecodeCase{"RtuRead", LineMode::Rtu, RtuReadFrequency, 1, 3, {0xF0, 0x98, 0x00, 0x01}},
        DecodeCase{"RtuWrite", LineMode::Rtu, RtuWriteReference, 1, 6, {0xF5, 0x10, 0x13, 0x88}},
        DecodeCase{
            "RtuAddress16", LineMode::Rtu, RtuReadCurrentAt16, 16, 3, {0xF0, 0xA0, 0x00, 0x01}},
        DecodeCase{"RtuCrcBytesSwapped",
                   LineMode::Rtu,
                   ByteString{0x01, 0x03, 0xF0, 0x98, 0x00, 0x01, 0xE5, 0x36},
                   std::nullopt,
                   0,
                   {}},
        DecodeCase{"RtuOneDataBitFlipped",
                   LineMode::Rtu,
                   WithByteChanged(RtuReadFrequency, 3, 0x99),
                   std::nullopt,
                   0,
                   {}},
        DecodeCase{
            "RtuTooShort", LineMode::Rtu, ByteString{0x01, 0x03, 0x00}, std::nullopt, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct EncodeCase {
    const char* name;
    LineMode mode;
    std::uint8_t address;
    std::uint8_t function;
    ByteString data;
    ByteString frame;
};

class EncodesReply : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodesReply, WithItsChecksum) {
    const EncodeCase& c = GetParam();
    EXPECT_EQ(EncodeFrame(c.mode, c.address, c.function, c.data), c.frame);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, EncodesReply,
    ::testing::Values(
        EncodeCase{
            "AsciiReadReply", LineMode::Ascii, 1, 3, {0x02, 0x13, 0x88}, Ascii(":01030213885F")},
        EncodeCase{"AsciiException", LineMode::Ascii, 1, 0x83, {0x02}, Ascii(":0183027A")},
        EncodeCase{"RtuReadReply",
                   LineMode::Rtu,
                   1,
                   3,
                   {0x02, 0x13, 0x88},
                   ByteString{0x01, 0x03, 0x02, 0x13, 0x88, 0xB5, 0x12}},
        EncodeCase{"RtuException",
                   LineMode::Rtu,
                   1,
                   0x83,
                   {0x02},
                   ByteString{0x01, 0x83, 0x02, 0xC0, 0xF1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CorruptChecksum, BreaksTheChecksumButKeepsTheFrameShape) {
    const std::vector<std::pair<LineMode, ByteString>> frames{
        {LineMode::Ascii, AsciiReadFrequency}, {LineMode::Ascii, AsciiWriteReference},
        {LineMode::Ascii, Ascii(":0183027A")}, {LineMode::Rtu, RtuReadFrequency},
        {LineMode::Rtu, RtuWriteReference},    {LineMode::Rtu, RtuReadZero}};
    for (const auto& [mode, good] : frames) {
        ASSERT_TRUE(DecodeFrame(mode, good).has_value());
        ByteString bad = good;
        CorruptChecksum(mode, bad);
        EXPECT_EQ(bad.size(), good.size());
        EXPECT_FALSE(DecodeFrame(mode, bad).has_value());
        // Everything but the checksum is untouched, so the client sees a plausible frame.
        const std::size_t checksumAt = bad.size() - (mode == LineMode::Ascii ? 4 : 2);
        EXPECT_TRUE(std::equal(bad.begin(), bad.begin() + static_cast<std::ptrdiff_t>(checksumAt),
                               good.begin()));
        if (mode == LineMode::Ascii) {
            EXPECT_TRUE(std::isxdigit(bad[checksumAt]) && std::isxdigit(bad[checksumAt + 1]));
            EXPECT_EQ(bad[checksumAt], std::toupper(bad[checksumAt]));
        }
    }
}

} // namespace
} // namespace quorvel::sim
