#include "Functionsconvert.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvel {
namespace {

TEST(ByteToHex, WritesUppercaseDigitsHighNibbleFirst) {
    EXPECT_EQ(ByteToHex(0x00), "00");
    EXPECT_EQ(ByteToHex(0xFF), "FF");
    EXPECT_EQ(ByteToHex(0x5F), "5F");
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(ByteToHex(0x90), "90");
}

TEST(WordToHex, WritesHighByteFirst) {
    EXPECT_EQ(WordToHex(0xF510), "F510");
    EXPECT_EQ(WordToHex(0x0001), "0001");
    EXPECT_EQ(WordToHex(0xFFFF), "FFFF");
}

TEST(HexPairToByte, DecodesUppercaseDigits) {
    EXPECT_EQ(HexPairToByte('F', 'F'), 255);
    EXPECT_EQ(HexPairToByte('0', '0'), 0);
    EXPECT_EQ(HexPairToByte('5', 'F'), 0x5F);
    EXPECT_EQ(HexPairToByte('A', '9'), 0xA9);
}

TEST(HexPairToByte, RoundTripsEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const std::string hex = ByteToHex(static_cast<std::uint8_t>(b));
        EXPECT_EQ(
            HexPairToByte(static_cast<std::uint8_t>(hex[0]), static_cast<std::uint8_t>(hex[1])), b);
    }
}

TEST(HexPairToByte, LowercaseFollowsTheSameArithmeticNotItsHexValue) {
    // 'a' - 0x30 = 0x31, above 9, minus 7 = 0x2A as a digit value.
    EXPECT_EQ(HexPairToByte('0', 'a'), 0x2A);
    EXPECT_EQ(HexPairToByte('a', '0'), static_cast<std::uint8_t>(0x2A * 16));
    EXPECT_NE(HexPairToByte('f', 'f'), 0xFF);
}

TEST(HexPairToByte, NonDigitsWrapInEightBits) {
    // ':' - 0x30 = 10, above 9, minus 7 = 3; a byte below '0' wraps around first.
    EXPECT_EQ(HexPairToByte('0', ':'), 3);
    EXPECT_EQ(HexPairToByte('0', 0x0D), static_cast<std::uint8_t>(0x0D - 0x30 - 7));
}

TEST(HexQuadToWord, CombinesTwoPairsHighFirst) {
    EXPECT_EQ(HexQuadToWord('1', '3', '8', '8'), 0x1388);
    EXPECT_EQ(HexQuadToWord('F', 'F', 'F', 'F'), 0xFFFF);
    EXPECT_EQ(HexQuadToWord('0', '0', '0', '1'), 1);
}

struct FormatCase {
    std::uint16_t raw;
    int code;
    const char* separator;
    const char* text;
};

class FormatValueTable : public ::testing::TestWithParam<FormatCase> {};

std::string CaseName(const ::testing::TestParamInfo<FormatCase>& info) {
    const FormatCase& c = info.param;
    const std::string separator = c.separator[0] == ',' ? "Comma" : "Dot";
    return "Raw" + std::to_string(c.raw) + "Code" + std::to_string(c.code) + separator;
}

TEST_P(FormatValueTable, WritesTheCodesNumber) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatValue(c.raw, static_cast<FormatCode>(c.code), c.separator), c.text)
        << "raw " << c.raw << " code " << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, FormatValueTable,
    ::testing::Values(FormatCase{5000, 11, ".", "50.00"}, FormatCase{5000, 11, ",", "50,00"},
                      FormatCase{32768, 11, ".", "327.7"}, FormatCase{0, 11, ".", "N"},
                      FormatCase{123, 1, ".", "12.3"}, FormatCase{0, 1, ".", "0.0"},
                      FormatCase{65535, 1, ".", "6553.5"}, FormatCase{65535, 11, ".", "3604.4"},
                      FormatCase{32767, 11, ".", "327.67"}, FormatCase{1, 11, ".", "0.01"},
                      FormatCase{0xFFFB, 17, ".", "-0.5"}, FormatCase{0, 16, ".", "0"},
                      FormatCase{0, 24, ".", "N"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    UnsignedCodes, FormatValueTable,
    ::testing::Values(FormatCase{65535, 0, ".", "65535"}, FormatCase{0, 0, ".", "0"},
                      FormatCase{7, 1, ",", "0,7"}, FormatCase{10, 1, ".", "1.0"},
                      FormatCase{5, 2, ".", "0.05"}, FormatCase{65535, 2, ".", "655.35"},
                      FormatCase{100, 2, ".", "1.00"}, FormatCase{0, 2, ".", "0.00"},
                      FormatCase{65535, 10, ".", "655.35"}, FormatCase{1, 9, ".", "0.1"},
                      FormatCase{40000, 8, ".", "40000"}, FormatCase{32769, 11, ".", "327.8"},
                      FormatCase{32767, 11, ",", "327,67"}, FormatCase{12345, 0, ",", "12345"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    SignedCodes, FormatValueTable,
    ::testing::Values(FormatCase{0x8000, 16, ".", "-32768"}, FormatCase{0x7FFF, 16, ".", "32767"},
                      FormatCase{0xFFFF, 16, ".", "-1"}, FormatCase{0x8000, 17, ".", "-3276.8"},
                      FormatCase{0xFFFF, 18, ".", "-0.01"}, FormatCase{0xFF9C, 18, ",", "-1,00"},
                      FormatCase{0xFFF6, 25, ".", "-1.0"}, FormatCase{0xFFFF, 26, ".", "-0.01"},
                      FormatCase{0x8000, 24, ".", "-32768"}, FormatCase{0xFFFB, 1, ".", "6553.1"},
                      FormatCase{0, 17, ".", "0.0"}, FormatCase{0, 18, ".", "0.00"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(ZeroRule, FormatValueTable,
                         ::testing::Values(FormatCase{0, 8, ".", "N"}, FormatCase{0, 9, ".", "N"},
                                           FormatCase{0, 10, ".", "N"}, FormatCase{0, 25, ".", "N"},
                                           FormatCase{0, 26, ".", "N"}, FormatCase{0, 12, ".", "N"},
                                           FormatCase{0, 27, ".", "N"}, FormatCase{0, 28, ".", "N"},
                                           FormatCase{0, 0, ".", "0"},
                                           FormatCase{0, 2, ".", "0.00"}),
                         CaseName);

INSTANTIATE_TEST_SUITE_P(UnknownCodesGiveNoDigits, FormatValueTable,
                         ::testing::Values(FormatCase{5, 3, ".", ""}, FormatCase{5, 7, ".", ""},
                                           FormatCase{5, 12, ".", ""}, FormatCase{5, 15, ".", ""},
                                           FormatCase{5, 19, ".", ""}, FormatCase{5, 20, ".", ""},
                                           FormatCase{0, 20, ".", ""}, FormatCase{5, 27, ".", ""},
                                           FormatCase{5, 29, ".", ""}, FormatCase{0, 29, ".", ""},
                                           FormatCase{0, 255, ".", ""}, FormatCase{0, 3, ".", ""}),
                         CaseName);

TEST(FormatValue, UsesTheGivenSeparatorWhateverItsLength) {
    EXPECT_EQ(FormatValue(123, 1, ""), "123");
    EXPECT_EQ(FormatValue(123, 1, "\xC2\xB7"), "12\xC2\xB7"
                                               "3");
}

TEST(FormatValue, WritesNoThousandsSeparator) {
    for (FormatCode code : {0, 1, 2, 16, 17, 18, 11}) {
        const std::string text = FormatValue(60000, code, ".");
        EXPECT_EQ(text.find(','), std::string::npos) << text;
        EXPECT_EQ(text.find(' '), std::string::npos) << text;
    }
}

} // namespace
} // namespace quorvel
