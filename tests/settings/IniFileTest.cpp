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

TEST(IniDocument, QuotesAroundAValueAreDroppedAsTheProfileFunctionsDo) {
    const IniFile ini("[S]\na=\"9600\"\nb = '9600' \nc=\"\"\nd=\"x\ne=\"x'\nf=\"\nq=\"\"x\"\"\n");
    EXPECT_EQ(ini.Value("S", "a"), "9600");
    EXPECT_EQ(ini.Value("S", "b"), "9600");
    EXPECT_EQ(ini.Value("S", "c"), "");
    EXPECT_EQ(ini.Value("S", "d"), "\"x");
    EXPECT_EQ(ini.Value("S", "e"), "\"x'");
    EXPECT_EQ(ini.Value("S", "f"), "\"");
    EXPECT_EQ(ini.Value("S", "q"), "\"x\"");
    EXPECT_EQ(ini.Integer("S", "a", -1), 9600);
}

TEST(IniDocument, CommentsAreNoKeys) {
    const IniFile ini("[S]\n;k=1\n  # k=2\nk=3\n");
    EXPECT_EQ(ini.Value("S", "k"), "3");
}

TEST(IniValueText, QuotesOnlyWhatWouldNotReadBack) {
    EXPECT_EQ(IniValueText("COM3"), "COM3");
    EXPECT_EQ(IniValueText(""), "");
    EXPECT_EQ(IniValueText("a b"), "a b");
    EXPECT_EQ(IniValueText("\"x"), "\"x");
    EXPECT_EQ(IniValueText(" COM3"), "\" COM3\"");
    EXPECT_EQ(IniValueText("COM3\t"), "\"COM3\t\"");
    EXPECT_EQ(IniValueText("COM3\r"), "\"COM3\r\"");
    EXPECT_EQ(IniValueText("\"x\""), "\"\"x\"\"");
    EXPECT_EQ(IniValueText("'x'"), "\"'x'\"");
    EXPECT_EQ(IniValueText("one\ntwo"), "one");
    for (const std::string value : {" COM3", "\"x\"", "'x'", "COM3\r", "\t", "\"\""}) {
        const IniFile ini("[S]\nk=" + IniValueText(value) + "\n");
        EXPECT_EQ(ini.Value("S", "k"), value);
    }
}

const IniFile::KeyValues Keys{{"A", "1"}, {"B", "2"}, {"C", "3"}};

TEST(IniWriteSection, ReplacesKeysInPlaceKeepingCommentsAndBlanks) {
    IniFile ini("[S]\n; first\na=old\n\n; second\nb=old\nStale=9\n; end\n\n[T]\nx=1\n");
    ini.WriteSection("s", Keys);
    EXPECT_EQ(ini.Serialize(), "[S]\n; first\nA=1\n\n; second\nB=2\nC=3\n; end\n\n[T]\nx=1\n");
}

TEST(IniWriteSection, MissingKeysGoBeforeTheNextKnownOne) {
    IniFile ini("[S]\n;c comes\nc=old\n");
    ini.WriteSection("S", Keys);
    EXPECT_EQ(ini.Serialize(), "[S]\n;c comes\nA=1\nB=2\nC=3\n");
}

TEST(IniWriteSection, OutOfOrderAndRepeatedKeysAreDroppedAndOrderKept) {
    IniFile ini("[S]\nc=old\nb=old\na=old\nc=again\n");
    ini.WriteSection("S", Keys);
    EXPECT_EQ(ini.Serialize(), "[S]\nA=1\nB=2\nC=3\n");
}

TEST(IniWriteSection, SectionOfOnlyCommentsGetsKeysBeforeItsClosingBlanks) {
    IniFile ini("[S]\n; mine\n\n\n[T]\n");
    ini.WriteSection("S", Keys);
    EXPECT_EQ(ini.Serialize(), "[S]\n; mine\nA=1\nB=2\nC=3\n\n\n[T]\n");
}

TEST(IniWriteSection, LaterCopiesOfTheSectionLoseTheirKeysOnly) {
    IniFile ini("[S]\na=1\n[T]\nx=1\n[s]\n; note\nb=7\n");
    ini.WriteSection("S", Keys);
    EXPECT_EQ(ini.Serialize(), "[S]\nA=1\nB=2\nC=3\n[T]\nx=1\n[s]\n; note\n");
    EXPECT_EQ(IniFile(ini.Serialize()).Value("S", "B"), "2");
}

TEST(IniWriteSection, MissingSectionIsAddedAtTheEnd) {
    IniFile ini("; note\n[A]\nx=1");
    ini.WriteSection("S", {{"K", "v"}});
    EXPECT_EQ(ini.Serialize(), "; note\n[A]\nx=1\n[S]\nK=v\n");
    IniFile empty("");
    empty.WriteSection("S", {{"K", ""}});
    EXPECT_EQ(empty.Serialize(), "[S]\nK=\n");
}

TEST(IniWriteSection, OtherLinesKeepTheirBytesAndWrittenLinesTheChosenEnd) {
    IniFile ini("top\r\n[ Other ] ; x\nk = v \r\n[S]\r\na=1\n; c\r\n[T]\nlast");
    EXPECT_EQ(ini.FirstLineEnd(), "\r\n");
    ini.SetLineEnd("\r\n");
    ini.WriteSection("S", {{"A", "2"}});
    EXPECT_EQ(ini.Serialize(), "top\r\n[ Other ] ; x\nk = v \r\n[S]\r\nA=2\r\n; c\r\n[T]\nlast");
}

TEST(IniWriteSection, QuotesValuesThatWouldNotReadBack) {
    IniFile ini("");
    ini.WriteSection("S", {{"Port", " COM3 "}});
    EXPECT_EQ(ini.Serialize(), "[S]\nPort=\" COM3 \"\n");
    EXPECT_EQ(IniFile(ini.Serialize()).Value("S", "Port"), " COM3 ");
}

TEST(IniDocument, EmptyTextHasNoLineEnd) {
    const IniFile ini("");
    EXPECT_EQ(ini.Serialize(), "");
    EXPECT_EQ(ini.FirstLineEnd(), "");
    EXPECT_EQ(IniFile("[A]\nx").FirstLineEnd(), "\n");
}

} // namespace
} // namespace quorvel
