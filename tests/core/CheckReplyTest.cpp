#include "FrameText.h"
#include "Functionsmodbus.h"

#include <gtest/gtest.h>

#include <optional>

namespace quorvel {
namespace {

using test::Hex;
using test::Line;
using test::SettingsFor;
using test::Spaced;

constexpr std::uint16_t Untouched = 0xA5A5;

struct ReplyCase {
    const char* name;
    std::uint8_t mode;
    ByteString received;
    ByteString lastSent;
    FrameCheck expected;
    std::optional<std::uint16_t> word0; // nullopt: entry 0 keeps what it held
};

ReplyCase Ascii(const char* name, ByteString received, FrameCheck expected,
                std::optional<std::uint16_t> word0 = std::nullopt) {
    return {name, ModeASCII, std::move(received), Line(":0103F098000173"), expected, word0};
}

ReplyCase Rtu(const char* name, const char* received, FrameCheck expected,
              std::optional<std::uint16_t> word0 = std::nullopt) {
    return {name, ModeRTU, Hex(received), Hex("01 03 F0 98 00 01 36 E5"), expected, word0};
}

class ReplyTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTable, JudgesTheBufferAtAddressOne) {
    const ReplyCase& c = GetParam();
    ResponseWordArray words;
    words.fill(Untouched);
    EXPECT_EQ(CheckReply(SettingsFor(c.mode, 1), c.received, c.lastSent, words), c.expected)
        << Spaced(c.received);
    EXPECT_EQ(words[0], c.word0.value_or(Untouched));
    EXPECT_EQ(words[1], Untouched);
}

const auto Name = [](const auto& info) { return std::string(info.param.name); };

INSTANTIATE_TEST_SUITE_P(
    AsciiReplies, ReplyTable,
    ::testing::Values(
        Ascii("WorkedRead", Line(":01030213885F"), Good, 0x1388),
        Ascii("WorkedNoCrLfYet", BytesOf(":010302138"), Incomplete),
        Ascii("WorkedException", Line(":0183027A"), ExceptionReply),
        Ascii("ReadInputRegisters", Line(":01040213885E"), Good, 0x1388),
        Ascii("OddByteCountDecodesFloorHalf", Line(":01030313880757"), Good, 0x1388),
        Ascii("CharactersBeforeCrLfAreIgnored", Line(":01030213885FXY"), Good, 0x1388),
        Ascii("WrongLrcStillLeavesWords", Line(":010302138860"), BadFrame, 0x1388),
        Ascii("LowercaseLrc", Line(":01030213885f"), BadFrame, 0x1388),
        Ascii("CrLfBeforeTheDataIsBad", Line(":0103021388"), BadFrame),
        // 2N + 11 = 15 characters. One short, its half LRC pair "0" CR would still
        // sum to zero, so only the length rule makes it bad.
        Ascii("OneCharacterShortOfTheLengthRule", Line(":01030213110"), BadFrame),
        Ascii("MeetingTheLengthRuleRightLrc", Line(":0103021311D6"), Good, 0x1311),
        Ascii("MeetingTheLengthRuleWrongLrc", Line(":0103021311D7"), BadFrame, 0x1311),
        Ascii("WrongStart", Line("X01030213885F"), BadFrame),
        Ascii("OtherAddressBeforeCrLf", BytesOf(":0203021"), BadFrame),
        Ascii("OtherAddressFirstFiveCharacters", BytesOf(":0203"), BadFrame),
        Ascii("OwnAddressWaitsForCrLf", BytesOf(":0103"), Incomplete),
        Ascii("LoneCrIsNotAnEnd", BytesOf(":01030213885F\r"), Incomplete),
        Ascii("LfWithoutCr", BytesOf(":01030213885F\n"), Incomplete),
        Ascii("ExceptionToReadInput", Line(":01840279"), ExceptionReply),
        Ascii("ExceptionToWrite", Line(":01860277"), ExceptionReply),
        Ascii("ExceptionToFileRecord", Line(":01940269"), ExceptionReply),
        Ascii("ExceptionCodeNotListed", Line(":01850278"), BadFrame),
        Ascii("ExceptionWrongLrc", Line(":0183027B"), BadFrame),
        Ascii("ExceptionTooShortForItsLrc", Line(":018302"), BadFrame),
        // Right LRCs: only the function code can make these bad.
        Ascii("UnlistedFunctionWithRightLrc", Line(":01050213885D"), BadFrame),
        Ascii("UnlistedFunction16WithRightLrc", Line(":011002138852"), BadFrame),
        Ascii("FileRecord", Line(":0114040306138843"), Good, 0x1388),
        Ascii("FileRecordWrongReferenceType", Line(":0114040305138844"), BadFrame),
        Ascii("FileRecordWrongLrc", Line(":0114040306138844"), BadFrame, 0x1388),
        Ascii("FileRecordZeroLengthIsLong", Line(":011400000006E5"), BadFrame)),
    Name);

INSTANTIATE_TEST_SUITE_P(
    RtuReplies, ReplyTable,
    ::testing::Values(Rtu("WorkedRead", "01 03 02 13 88 B5 12", Good, 0x1388),
                      Rtu("WorkedOneByteShort", "01 03 02 13 88 B5", Incomplete),
                      Rtu("WorkedOneByteTooMany", "01 03 02 13 88 B5 12 00", BadFrame),
                      Rtu("WorkedException", "01 83 02 C0 F1", ExceptionReply),
                      Rtu("WorkedOtherAddress", "02 03 02 13 88 B5 12", BadFrame),
                      Rtu("ReadInputRegisters", "01 04 02 13 88 B4 66", Good, 0x1388),
                      Rtu("OddByteCountDecodesFloorHalf", "01 03 03 13 88 07 93 89", Good, 0x1388),
                      Rtu("WrongCrcStillLeavesWords", "01 03 02 13 88 B5 13", BadFrame, 0x1388),
                      Rtu("CrcBytesSwapped", "01 03 02 13 88 12 B5", BadFrame, 0x1388),
                      Rtu("ExceptionToReadInput", "01 84 02 C2 C1", ExceptionReply),
                      Rtu("ExceptionToWrite", "01 86 02 C3 A1", ExceptionReply),
                      Rtu("ExceptionToFileRecord", "01 94 02 CF 01", ExceptionReply),
                      Rtu("ExceptionBytesAfterTheFifthIgnored", "01 83 02 C0 F1 77 77",
                          ExceptionReply),
                      Rtu("ExceptionWrongCrc", "01 83 02 C0 F2", BadFrame),
                      Rtu("ExceptionCodeNotListed", "01 85 02 C3 51", BadFrame),
                      Rtu("FileRecordAcceptedUnchecked", "01 14 00 00 00", Good),
                      Rtu("UnlistedFunctionWithRightCrc", "01 05 02 13 88 B5 9A", BadFrame),
                      Rtu("UnlistedFunction16WithRightCrc", "01 10 02 13 88 B1 96", BadFrame)),
    Name);

INSTANTIATE_TEST_SUITE_P(
    WriteEchoes, ReplyTable,
    ::testing::Values(ReplyCase{"AsciiExactEcho", ModeASCII, Line(":0106F510138859"),
                                Line(":0106F510138859"), Good, std::nullopt},
                      ReplyCase{"AsciiOneLowercaseDigit", ModeASCII, Line(":0106f510138859"),
                                Line(":0106F510138859"), BadFrame, std::nullopt},
                      ReplyCase{"AsciiOneCharacterShort", ModeASCII, Line(":0106F51013885"),
                                Line(":0106F510138859"), BadFrame, std::nullopt},
                      ReplyCase{"AsciiEchoOfAnotherRequest", ModeASCII, Line(":0106F510138859"),
                                Line(":0103F098000173"), BadFrame, std::nullopt},
                      ReplyCase{"RtuExactEcho", ModeRTU, Hex("01 06 F5 10 13 88 B6 95"),
                                Hex("01 06 F5 10 13 88 B6 95"), Good, std::nullopt},
                      ReplyCase{"RtuPartialEchoIsBadNotIncomplete", ModeRTU, Hex("01 06 F5 10 13"),
                                Hex("01 06 F5 10 13 88 B6 95"), BadFrame, std::nullopt},
                      ReplyCase{"RtuEchoWithExtraByte", ModeRTU, Hex("01 06 F5 10 13 88 B6 95 00"),
                                Hex("01 06 F5 10 13 88 B6 95"), BadFrame, std::nullopt},
                      ReplyCase{"RtuEchoOneBitOff", ModeRTU, Hex("01 06 F5 10 13 89 B6 95"),
                                Hex("01 06 F5 10 13 88 B6 95"), BadFrame, std::nullopt}),
    Name);

TEST(CheckReply, ReadReplyDecodesEveryWordBigEndian) {
    for (std::uint8_t mode : {ModeASCII, ModeRTU}) {
        const ByteString reply =
            mode == ModeRTU ? Hex("01 03 04 13 88 00 01 BF 5D") : Line(":010304138800015C");
        ResponseWordArray words;
        words.fill(Untouched);
        EXPECT_EQ(CheckReply(SettingsFor(mode, 1), reply, {}, words), Good);
        EXPECT_EQ(words[0], 0x1388);
        EXPECT_EQ(words[1], 0x0001);
        EXPECT_EQ(words[2], Untouched);
    }
}

TEST(CheckReply, RtuReplyInTwoChunksIsIncompleteThenGood) {
    const ByteString whole = Hex("01 03 02 13 88 B5 12");
    ResponseWordArray words{};
    const TSettings settings = SettingsFor(ModeRTU, 1);
    const ByteString first(whole.begin(), whole.begin() + 5);
    EXPECT_EQ(CheckReply(settings, first, {}, words), Incomplete);
    EXPECT_EQ(CheckReply(settings, whole, {}, words), Good);
    EXPECT_EQ(words[0], 0x1388);
}

TEST(CheckReply, AsciiReplyIsIncompleteUntilItsLastCharacter) {
    const ByteString whole = Line(":01030213885F");
    ResponseWordArray words{};
    const TSettings settings = SettingsFor(ModeASCII, 1);
    for (std::size_t size = 5; size < whole.size(); ++size) {
        const ByteString part(whole.begin(), whole.begin() + static_cast<long>(size));
        EXPECT_EQ(CheckReply(settings, part, {}, words), Incomplete) << size;
    }
    EXPECT_EQ(CheckReply(settings, whole, {}, words), Good);
}

TEST(CheckReply, UsesTheAddressAndModeOfEachCall) {
    const ByteString reply = Hex("01 03 02 13 88 B5 12");
    ResponseWordArray words{};
    EXPECT_EQ(CheckReply(SettingsFor(ModeRTU, 1), reply, {}, words), Good);
    EXPECT_EQ(CheckReply(SettingsFor(ModeRTU, 2), reply, {}, words), BadFrame);
    EXPECT_EQ(CheckReply(SettingsFor(ModeASCII, 1), reply, {}, words), BadFrame);
    const ByteString ascii = Line(":100302138850");
    EXPECT_EQ(CheckReply(SettingsFor(ModeASCII, 16), ascii, {}, words), Good);
}

TEST(CheckReply, ModeOtherThanRtuChecksAscii) {
    ResponseWordArray words{};
    EXPECT_EQ(CheckReply(SettingsFor(0, 1), Line(":01030213885F"), {}, words), Good);
    EXPECT_EQ(CheckReply(SettingsFor(7, 1), Hex("01 03 02 13 88 B5 12"), {}, words), BadFrame);
}

TEST(CheckReply, RepliesToBuiltRequestsRoundTrip) {
    for (std::uint8_t mode : {ModeASCII, ModeRTU}) {
        const TSettings settings = SettingsFor(mode, 9);
        const ByteString sent = BuildWriteRequest(settings, 0xF510, 0x8001);
        ResponseWordArray words{};
        EXPECT_EQ(CheckReply(settings, sent, sent, words), Good);
    }
}

} // namespace
} // namespace quorvel
