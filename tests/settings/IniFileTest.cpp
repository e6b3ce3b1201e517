#include "IniFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

namespace quorvel {
namespace {

struct IntegerCase {
    const char* Text;
    std::int32_t Expected;
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << '"' << c.Text << '"';
}

class IniIntegerText : public testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegerText, ReadsDecimalHexOrFallback) {
    EXPECT_EQ(ParseIniInteger(GetParam().Text, -77), GetParam().Expected) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniIntegerText,
    testing::Values(IntegerCase{"38400", 38400}, IntegerCase{"-20", -20}, IntegerCase{"+4", 4},
                    IntegerCase{"007", 7}, IntegerCase{"0x9600", 0x9600},
                    IntegerCase{"0X9600", 0x9600}, IntegerCase{"0xffffffff", -1},
                    IntegerCase{"0x00000000009600", 0x9600}, IntegerCase{"2147483647", INT32_MAX},
                    IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"2147483648", -77},
                    IntegerCase{"0x100000000", -77}, IntegerCase{"", -77}, IntegerCase{"0x", -77},
                    IntegerCase{"0", 0}, IntegerCase{"0x-5", -77}, IntegerCase{"-0x5", -77},
                    IntegerCase{"--5", -77}, IntegerCase{"+-5", -77}, IntegerCase{"-", -77},
                    IntegerCase{"12abc", -77}, IntegerCase{"1 2", -77}, IntegerCase{"0xG1", -77},
                    IntegerCase{"  42  ", 42}, IntegerCase{"99999999999999999999999", -77}));

TEST(IniDocument, FindsValuesRegardlessOfCaseAndBlanks) {
    const IniFile ini("[quorvel]\r\n  left = 12 \r\nPORT=COM3\r\n");
    EXPECT_EQ(ini.Value("Quorvel", "Left"), "12");
    EXPECT_EQ(ini.Value("QUORVEL", "port"), "COM3");
    EXPECT_FALSE(ini.Value("Quorvel", "Top").has_value());
    EXPECT_FALSE(ini.Value("Other", "Left").has_value());
}

TEST(IniDocument, FirstOccurrenceOfAKeyWins) {
    const IniFile ini("[S]\nk=1\nk=2\n");
    EXPECT_EQ(ini.Value("S", "k"), "1");
}

TEST(IniDocument, ValueTextIsCutAtMaximumLength) {
    const std::string longValue(IniFile::MaxValueLength + 100, 'A');
    const IniFile ini("[S]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.Value("S", "k"), longValue.substr(0, IniFile::MaxValueLength));
}

TEST(IniDocument, ValueMayContainEqualsSigns) {
    const IniFile ini("[S]\nk=a=b\n");
    EXPECT_EQ(ini.Value("S", "k"), "a=b");
}

TEST(IniDocument, SetValueReplacesExistingKeyInPlace) {
    IniFile ini("[S]\na=1\nB=2\nc=3\n");
    ini.SetValue("s", "b", "9");
    EXPECT_EQ(ini.Serialize(), "[S]\na=1\nb=9\nc=3\n");
}

TEST(IniDocument, SetValueAddsSectionAtTheEndAfterOthers) {
    IniFile ini("; note\n[A]\nx=1\n\n");
    ini.SetValue("B", "Key", "v");
    ini.SetValue("A", "y", "2");
    EXPECT_EQ(ini.Serialize(), "; note\n[A]\nx=1\ny=2\n\n[B]\nKey=v\n");
}

TEST(IniDocument, RemoveSectionRemovesEveryCopyAndKeepsTheRest) {
    IniFile ini("top=1\n[Q]\na=1\n[K]\nb=2\n[q]\nc=3\n");
    ini.RemoveSection("Q");
    EXPECT_EQ(ini.Serialize(), "top=1\n[K]\nb=2\n");
}

TEST(IniDocument, KeepsTheFilesLineEnding) {
    IniFile ini("[A]\r\nx=1\r\n");
    ini.SetValue("A", "y", "2");
    EXPECT_EQ(ini.Serialize(), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST(IniDocument, EmptyTextGivesEmptyDocument) {
    IniFile ini("");
    EXPECT_EQ(ini.Serialize(), "");
    ini.SetValue("S", "k", "");
    EXPECT_EQ(ini.Serialize(), "[S]\nk=\n");
}

} // namespace
} // namespace quorvel
