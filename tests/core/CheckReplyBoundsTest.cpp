// Replies whose counts point past the buffer or past the 32 response words. Buffers and the
// word array are exactly sized heap blocks so the sanitizer build catches any stray access.
#include "FrameText.h"
#include "Functionsconvert.h"
#include "Functionsmodbus.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>
#include <string>

namespace quorvel {
namespace {

using test::Hex;
using test::SettingsFor;
using test::WithCrc;

constexpr std::uint16_t Untouched = 0xA5A5;

std::unique_ptr<ResponseWordArray> FreshWords() {
    auto words = std::make_unique<ResponseWordArray>();
    words->fill(Untouched);
    return words;
}

std::uint16_t DataWord(std::size_t i) {
    return static_cast<std::uint16_t>(0x1000 + 7 * i);
}

// Message bytes of a reply carrying `count` data bytes after `head`.
ByteString WithData(ByteString head, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t word = DataWord(k / 2);
        head.push_back(static_cast<std::uint8_t>(k % 2 == 0 ? word >> 8 : word & 0xFF));
    }
    return head;
}

ByteString AsciiFrameOf(const ByteString& message) {
    std::string text = ":";
    for (std::uint8_t b : message) {
        text += ByteToHex(b);
    }
    return test::Line(text + ByteToHex(Lrc(message)));
}

FrameCheck Judge(std::uint8_t mode, const ByteString& received, ResponseWordArray& words) {
    const ByteString exact(received.begin(), received.end());
    const ByteString sent = Hex("01 06 F5 10 13 88 B6 95");
    return CheckReply(SettingsFor(mode, 1), exact, sent, words);
}

void ExpectFirstWordsDecoded(const ResponseWordArray& words, std::size_t count) {
    for (std::size_t i = 0; i < ResponseWordCount; ++i) {
        EXPECT_EQ(words[i], i < count ? DataWord(i) : Untouched) << "entry " << i;
    }
}

struct LongRead {
    std::size_t byteCount;
    std::size_t wordsKept;
};

class LongReadReply : public ::testing::TestWithParam<LongRead> {};

TEST_P(LongReadReply, AsciiKeepsAtMostThirtyTwoWords) {
    const LongRead c = GetParam();
    const ByteString message =
        WithData({0x01, 0x03, static_cast<std::uint8_t>(c.byteCount)}, c.byteCount);
    auto words = FreshWords();
    EXPECT_EQ(Judge(ModeASCII, AsciiFrameOf(message), *words), Good);
    ExpectFirstWordsDecoded(*words, c.wordsKept);
}

TEST_P(LongReadReply, RtuKeepsAtMostThirtyTwoWords) {
    const LongRead c = GetParam();
    const ByteString message =
        WithData({0x01, 0x04, static_cast<std::uint8_t>(c.byteCount)}, c.byteCount);
    auto words = FreshWords();
    EXPECT_EQ(Judge(ModeRTU, WithCrc(message), *words), Good);
    ExpectFirstWordsDecoded(*words, c.wordsKept);
}

INSTANTIATE_TEST_SUITE_P(ByteCounts, LongReadReply,
                         ::testing::Values(LongRead{0, 0}, LongRead{1, 0}, LongRead{63, 31},
                                           LongRead{64, 32}, LongRead{65, 32}, LongRead{66, 32},
                                           LongRead{254, 32}, LongRead{255, 32}),
                         [](const auto& info) {
                             return "ByteCount" + std::to_string(info.param.byteCount);
                         });

TEST(CheckReplyBounds, AsciiFileRecordOfZeroLengthCountsTwoHundredFiftyFiveBytes) {
    // Sub-response length 0 wraps to 255 data bytes; the frame must hold all of them.
    ByteString message = WithData({0x01, 0x14, 0x00, 0x00, 0x06}, 255);
    auto words = FreshWords();
    const ByteString frame = AsciiFrameOf(message);
    ASSERT_EQ(frame.size(), 2u * 255 + 15);
    EXPECT_EQ(Judge(ModeASCII, frame, *words), Good);
    ExpectFirstWordsDecoded(*words, 32);

    auto untouched = FreshWords();
    const ByteString shorter(frame.begin(), frame.end() - 4);
    EXPECT_EQ(Judge(ModeASCII, test::Line(std::string(shorter.begin(), shorter.end())), *untouched),
              BadFrame);
    ExpectFirstWordsDecoded(*untouched, 0);
}

TEST(CheckReplyBounds, AsciiFileRecordKeepsAtMostThirtyTwoWords) {
    const ByteString message = WithData({0x01, 0x14, 0x50, 0x4F, 0x06}, 0x4E);
    auto words = FreshWords();
    EXPECT_EQ(Judge(ModeASCII, AsciiFrameOf(message), *words), Good);
    ExpectFirstWordsDecoded(*words, 32);
}

TEST(CheckReplyBounds, ByteCountBeyondTheBufferNeverReadsPastIt) {
    auto words = FreshWords();
    EXPECT_EQ(Judge(ModeASCII, test::Line(":0103FF"), *words), BadFrame);
    EXPECT_EQ(Judge(ModeASCII, test::Line(":0103FF1388138813881388"), *words), BadFrame);
    EXPECT_EQ(Judge(ModeASCII, test::Line(":0114FF0006"), *words), BadFrame);
    EXPECT_EQ(Judge(ModeRTU, Hex("01 03 FF 13 88 B5 12"), *words), Incomplete);
    ExpectFirstWordsDecoded(*words, 0);
}

TEST(CheckReplyBounds, AsciiFramesEndingBeforeTheirFieldsAreBad) {
    // Each of these ends in CR LF before the field that its function code needs.
    for (const char* text : {":01", ":0103", ":01030", ":0114", ":011404", ":0114040", ":0183",
                             ":01830", ":018302", ":0183027", ":0194", ":019402"}) {
        auto words = FreshWords();
        EXPECT_EQ(Judge(ModeASCII, test::Line(text), *words), BadFrame) << text;
        ExpectFirstWordsDecoded(*words, 0);
    }
}

TEST(CheckReplyBounds, BuffersBelowFiveBytesAreJudgedWithoutOverreading) {
    ResponseWordArray words{};
    EXPECT_EQ(Judge(ModeASCII, {}, words), Incomplete);
    EXPECT_EQ(Judge(ModeASCII, BytesOf(":"), words), Incomplete);
    EXPECT_EQ(Judge(ModeASCII, BytesOf(":0"), words), Incomplete);
    EXPECT_EQ(Judge(ModeASCII, BytesOf("X"), words), BadFrame);
    EXPECT_EQ(Judge(ModeASCII, BytesOf(":0\r\n"), words), BadFrame);
    EXPECT_EQ(Judge(ModeRTU, {}, words), Incomplete);
    EXPECT_EQ(Judge(ModeRTU, Hex("01"), words), Incomplete);
    EXPECT_EQ(Judge(ModeRTU, Hex("02"), words), BadFrame);
    EXPECT_EQ(Judge(ModeRTU, Hex("01 03"), words), Incomplete);
    EXPECT_EQ(Judge(ModeRTU, Hex("01 83 02 C0"), words), Incomplete);
}

TEST(CheckReplyBounds, EveryPrefixOfAValidReplyIsWaitedFor) {
    const ByteString rtu = WithCrc(WithData({0x01, 0x03, 0x08}, 8));
    const ByteString ascii = AsciiFrameOf(WithData({0x01, 0x03, 0x08}, 8));
    for (std::size_t size = 3; size < rtu.size(); ++size) {
        auto words = FreshWords();
        EXPECT_EQ(
            Judge(ModeRTU, ByteString(rtu.begin(), rtu.begin() + static_cast<long>(size)), *words),
            Incomplete)
            << size;
    }
    for (std::size_t size = 1; size < ascii.size(); ++size) {
        auto words = FreshWords();
        EXPECT_EQ(Judge(ModeASCII,
                        ByteString(ascii.begin(), ascii.begin() + static_cast<long>(size)), *words),
                  Incomplete)
            << size;
    }
}

// Random buffers drawn from the characters and bytes that matter to the check. Its teeth are the
// sanitizer build: buffers and words are exactly sized heap blocks, so any read or write outside
// them aborts there. What it asserts in every build is that the check keeps no state: the same
// buffer gets the same verdict and leaves the same words a second time.
TEST(CheckReplyBounds, RandomBuffersStayInBoundsUnderSanitizerAndAreJudgedStatelessly) {
    std::mt19937 rng(20261208);
    const std::string alphabet = ":0123456789ABCDEF\r\n";
    const std::uint8_t functions[] = {0x03, 0x04, 0x06, 0x14, 0x83, 0x84, 0x86, 0x94};
    for (int round = 0; round < 20000; ++round) {
        const std::size_t size = rng() % 64;
        ByteString buffer(size);
        for (std::size_t k = 0; k < size; ++k) {
            buffer[k] = round % 2 ? static_cast<std::uint8_t>(alphabet[rng() % alphabet.size()])
                                  : static_cast<std::uint8_t>(rng());
        }
        if (round % 2 == 0 && size >= 3) {
            buffer[0] = 0x01;
            buffer[1] = functions[rng() % std::size(functions)];
            buffer[2] = static_cast<std::uint8_t>(rng() % 70);
        } else if (size >= 7) {
            buffer[0] = ':';
            buffer[1] = '0';
            buffer[2] = '1';
            buffer[size - 2] = '\r';
            buffer[size - 1] = '\n';
        }
        const std::uint8_t mode = round % 2 ? ModeASCII : ModeRTU;
        auto first = FreshWords();
        auto second = FreshWords();
        const FrameCheck verdict = Judge(mode, buffer, *first);
        ASSERT_EQ(Judge(mode, buffer, *second), verdict) << round;
        ASSERT_EQ(*first, *second) << round;
    }
}

} // namespace
} // namespace quorvel
