#include "FrameText.h"
#include "Functionsmodbus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace quorvel {
namespace {

using test::Hex;
using test::Line;
using test::SettingsFor;
using test::Spaced;

TEST(Crc16, MatchesTheSerialLineCheckValues) {
    const ByteString digits = BytesOf("123456789");
    EXPECT_EQ(Crc16(digits.data(), 9), 0x4B37);
    const ByteString read = Hex("01 03 00 00 00 01");
    EXPECT_EQ(Crc16(read.data(), 6), 0x0A84);
}

TEST(Crc16, CoversOnlyTheFirstCountBytes) {
    const ByteString bytes = Hex("01 03 00 00 00 01 FF FF");
    EXPECT_EQ(Crc16(bytes.data(), 6), 0x0A84);
    EXPECT_EQ(Crc16(bytes.data(), 0), 0xFFFF);
}

TEST(Crc16, AgreesWithTheBitwiseDefinition) {
    ByteString bytes;
    for (int k = 0; k < 300; ++k) {
        bytes.push_back(static_cast<std::uint8_t>(k * 37 + 11));
    }
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    EXPECT_EQ(Crc16(bytes.data(), static_cast<std::uint16_t>(bytes.size())), crc);
}

TEST(Lrc, IsTheTwosComplementOfTheByteSum) {
    EXPECT_EQ(Lrc(Hex("01 03 F0 98 00 01")), 0x73);
    EXPECT_EQ(Lrc(Hex("01 06 F5 10 13 88")), 0x59);
    EXPECT_EQ(Lrc(Hex("80 80")), 0x00); // low byte of the sum is 0
    EXPECT_EQ(Lrc(Hex("FF FF FF")), 0x03);
}

struct RequestCase {
    const char* name;
    std::uint8_t address;
    bool write;
    std::uint16_t reg;
    std::uint16_t value;
    const char* ascii;
    const char* rtu;
};

class RequestTable : public ::testing::TestWithParam<RequestCase> {
  protected:
    ByteString Build(std::uint8_t mode) const {
        const RequestCase& c = GetParam();
        const TSettings settings = SettingsFor(mode, c.address);
        return c.write ? BuildWriteRequest(settings, c.reg, c.value)
                       : BuildReadRequest(settings, c.reg);
    }
};

TEST_P(RequestTable, FramesAscii) {
    EXPECT_EQ(Build(ModeASCII), Line(GetParam().ascii));
}

TEST_P(RequestTable, FramesRtu) {
    const ByteString frame = Build(ModeRTU);
    EXPECT_EQ(frame, Hex(GetParam().rtu)) << Spaced(frame);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestTable,
    ::testing::Values(RequestCase{"ReadF098", 1, false, 0xF098, 0, ":0103F098000173",
                                  "01 03 F0 98 00 01 36 E5"},
                      RequestCase{"WriteF510", 1, true, 0xF510, 0x1388, ":0106F510138859",
                                  "01 06 F5 10 13 88 B6 95"},
                      RequestCase{"ReadF0A0At16", 16, false, 0xF0A0, 0, ":1003F0A000015C",
                                  "10 03 F0 A0 00 01 B4 69"},
                      RequestCase{"ReadF0A0At1", 1, false, 0xF0A0, 0, ":0103F0A000016B",
                                  "01 03 F0 A0 00 01 B7 28"},
                      RequestCase{"ReadAtBroadcastAddress", 0, false, 0x0000, 0, ":000300000001FC",
                                  "00 03 00 00 00 01 85 DB"},
                      RequestCase{"WriteMinusOne", 1, true, 0xF510, 0xFFFF, ":0106F510FFFFF6",
                                  "01 06 F5 10 FF FF BA 73"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildRequest, RtuReadKeepsItsZeroByteAndAllEightBytes) {
    const ByteString frame = BuildReadRequest(SettingsFor(ModeRTU, 1), 0xF098);
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(frame[4], 0x00);
}

TEST(BuildRequest, AsciiFramesHaveSeventeenUppercaseCharacters) {
    for (std::uint16_t reg : {0x0000, 0xABCD, 0xFFFF}) {
        for (bool write : {false, true}) {
            const TSettings settings = SettingsFor(ModeASCII, 0xAF);
            const ByteString frame =
                write ? BuildWriteRequest(settings, reg, 0xBEEF) : BuildReadRequest(settings, reg);
            ASSERT_EQ(frame.size(), 17u);
            EXPECT_TRUE(std::none_of(frame.begin(), frame.end(),
                                     [](std::uint8_t c) { return std::islower(c) != 0; }));
        }
    }
}

TEST(BuildRequest, FollowsModeAndAddressChangedBetweenCalls) {
    TSettings settings = SettingsFor(ModeASCII, 1);
    EXPECT_EQ(BuildReadRequest(settings, 0xF098).front(), ':');
    settings.Mode = ModeRTU;
    EXPECT_EQ(BuildReadRequest(settings, 0xF098), Hex("01 03 F0 98 00 01 36 E5"));
    settings.Address = 16;
    EXPECT_EQ(BuildReadRequest(settings, 0xF0A0), Hex("10 03 F0 A0 00 01 B4 69"));
    settings.Mode = ModeASCII;
    EXPECT_EQ(BuildReadRequest(settings, 0xF0A0), Line(":1003F0A000015C"));
}

TEST(BuildRequest, ModeOtherThanRtuFramesAscii) {
    for (std::uint8_t mode : {0, 1, 5, 255}) {
        EXPECT_EQ(BuildReadRequest(SettingsFor(mode, 1), 0xF098), Line(":0103F098000173"))
            << "mode " << int{mode};
    }
}

TEST(BuildRequest, WritesAnyAddressUnchecked) {
    EXPECT_EQ(BuildWriteRequest(SettingsFor(ModeASCII, 0xFF), 0, 0), Line(":FF0600000000FB"));
    EXPECT_EQ(BuildWriteRequest(SettingsFor(ModeRTU, 0xFF), 0, 0)[0], 0xFF);
}

struct LineTimeCase {
    std::uint8_t mode;
    std::uint32_t baud;
    std::size_t bytes;
    std::int64_t microseconds;
};

// 10 bits an ASCII character (7E1), 11 an RTU character (8E1), rounded up to whole microseconds.
TEST(FrameLineTime, IsTheFramesCharactersAtTheBaudRate) {
    for (const LineTimeCase& c :
         {LineTimeCase{ModeASCII, 1200, 17, 141667}, LineTimeCase{ModeRTU, 1200, 8, 73334},
          LineTimeCase{ModeRTU, 38400, 8, 2292}, LineTimeCase{ModeRTU, 9600, 96, 110000},
          LineTimeCase{ModeASCII, 115200, 513, 44532},
          LineTimeCase{0, 9600, 96, 100000}, // other modes frame as ASCII
          LineTimeCase{ModeRTU, 38400, 0, 0},
          LineTimeCase{ModeRTU, 0, 8, 0}}) { // no baud rate set yet
        TSettings settings = SettingsFor(c.mode, 1);
        settings.Baudrate = c.baud;
        EXPECT_EQ(FrameLineTime(settings, c.bytes).count(), c.microseconds)
            << "mode " << int{c.mode} << " at " << c.baud << " baud, " << c.bytes << " bytes";
    }
}

} // namespace
} // namespace quorvel
