// The message log's line store: exact text back for every line, the newest lines kept, and
// the memory bound when full.
#include "FrameStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {
namespace {

const std::string AsciiRead = "3A 30 31 30 33 46 30 39 38 30 30 30 31 37 33 0D 0A ";
const std::string RtuRead = "01 03 F0 98 00 01 B6 DB ";

TEST(FrameStore, GivesBackEveryLineExactly) {
    TFrameStore store;
    const std::string lines[] = {
        AsciiRead,
        RtuRead,
        "00 ",             // a zero byte
        "",                // an empty frame gives an empty line
        "3a 30 ",          // lower case is no dump: kept as text
        "3A 30",           // no trailing blank
        "3A  30 ",         // two blanks
        "sent 12",         // any other text
        "Küldött ",        // UTF-8
        "FF FF FF FF FF ", // high bytes
    };
    for (const std::string& line : lines) {
        store.Append(line);
    }
    ASSERT_EQ(store.LineCount(), std::size(lines));
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        EXPECT_EQ(store.Line(i), lines[i]) << i;
    }
    EXPECT_EQ(store.Line(std::size(lines)), "") << "past the end";
}

// The engine hands the log its frames as bytes: each reads back as its dump, zero bytes and
// an empty frame included, and costs what the same dump given as text costs.
TEST(FrameStore, AFrameGivenAsBytesReadsBackAsItsDump) {
    TFrameStore asBytes;
    TFrameStore asText;
    const std::vector<std::vector<std::uint8_t>> frames = {
        {0x01, 0x03, 0xF0, 0x98, 0x00, 0x01, 0xB6, 0xDB}, {0x00}, {}, {0xFF, 0x0A}};
    const std::string dumps[] = {RtuRead, "00 ", "", "FF 0A "};
    for (std::size_t k = 0; k < frames.size(); ++k) {
        asBytes.AppendFrame(frames[k]);
        asText.Append(dumps[k]);
    }
    ASSERT_EQ(asBytes.LineCount(), frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(asBytes.Line(k), dumps[k]) << k;
    }
    EXPECT_EQ(asBytes.MemoryBytes(), asText.MemoryBytes());
}

TEST(FrameStore, RecognisesOnlyTheExactDumpForm) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(TFrameStore::ParseDump("3A 0D 0A ", bytes));
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x3A, 0x0D, 0x0A}));
    EXPECT_FALSE(TFrameStore::ParseDump("3a ", bytes));
    EXPECT_FALSE(TFrameStore::ParseDump("3G ", bytes));
    EXPECT_FALSE(TFrameStore::ParseDump("3A\t", bytes));
    EXPECT_TRUE(TFrameStore::ParseDump("", bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(FrameStore, DropsWholeOldPagesButKeepsAtLeastItsCapacity) {
    constexpr std::size_t capacity = 10000;
    TFrameStore store(capacity);
    constexpr std::size_t total = 50000;
    for (std::size_t i = 0; i < total; ++i) {
        store.Append("line " + std::to_string(i));
    }
    EXPECT_GE(store.LineCount(), capacity);
    EXPECT_LT(store.LineCount(), capacity + TFrameStore::PageLines);
    EXPECT_EQ(store.FirstSeq() + store.LineCount(), total);
    EXPECT_EQ(store.Line(0), "line " + std::to_string(store.FirstSeq()));
    EXPECT_EQ(store.Line(store.LineCount() - 1), "line " + std::to_string(total - 1));
    const std::size_t middle = store.LineCount() / 2;
    EXPECT_EQ(store.Line(middle), "line " + std::to_string(store.FirstSeq() + middle));
}

TEST(FrameStore, AMillionAsciiFramesFitIn64MiB) {
    TFrameStore store;
    constexpr std::size_t total = TFrameStore::DefaultCapacity + 2 * TFrameStore::PageLines;
    for (std::size_t i = 0; i < total; ++i) {
        store.Append(AsciiRead);
    }
    EXPECT_GE(store.LineCount(), 1'000'000U);
    EXPECT_LE(store.MemoryBytes(), 64U << 20);
    EXPECT_EQ(store.Line(store.LineCount() - 1), AsciiRead);
}

TEST(FrameStore, LongFramesAreBoundByBytesNotLines) {
    TFrameStore store(TFrameStore::DefaultCapacity, 8U << 20);
    std::string longFrame;
    for (int i = 0; i < 1024; ++i) {
        longFrame += "5A ";
    }
    for (int i = 0; i < 20000; ++i) { // 20 MB of frames
        store.Append(longFrame);
    }
    EXPECT_LE(store.MemoryBytes(), 8U << 20);
    EXPECT_GT(store.LineCount(), 0U);
    EXPECT_EQ(store.Line(store.LineCount() - 1), longFrame);
}

TEST(FrameStore, ClearEmptiesAndNumbersGoOn) {
    TFrameStore store;
    store.Append(RtuRead);
    store.Append(RtuRead);
    store.Clear();
    EXPECT_EQ(store.LineCount(), 0U);
    EXPECT_EQ(store.MemoryBytes(), 0U);
    store.Append(AsciiRead);
    EXPECT_EQ(store.FirstSeq(), 2U);
    EXPECT_EQ(store.Line(0), AsciiRead);
}

} // namespace
} // namespace quorvel
