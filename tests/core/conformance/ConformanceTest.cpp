// Checks the core against frames that pymodbus built (see make_frames.py next to this file):
// byte-identical requests, equal checksums, and the same verdict on pymodbus replies.
#include "Functionsmodbus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel {
namespace {

ByteString FromHex(const std::string& text) {
    ByteString bytes;
    for (std::size_t k = 0; k + 1 < text.size(); k += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(k, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::string> RecordsOf(const std::string& kind) {
    std::ifstream in(QUORVEL_PYMODBUS_FRAMES);
    std::vector<std::string> records;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(kind + " ", 0) == 0) {
            records.push_back(line.substr(kind.size() + 1));
        }
    }
    return records;
}

class Conformance : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ifstream probe(QUORVEL_PYMODBUS_FRAMES);
        ASSERT_TRUE(probe.good()) << QUORVEL_PYMODBUS_FRAMES
                                  << " is missing: run through ctest, which generates it first";
    }

    void Count(int mode) { ++perMode_[mode]; }

    void PrintSampleSizes(const char* what) {
        for (const auto& [mode, count] : perMode_) {
            std::cout << what << " in " << (mode == ModeRTU ? "RTU" : "ASCII") << " mode: " << count
                      << " checked\n";
            EXPECT_GE(count, 1000) << "too few samples";
        }
        ASSERT_EQ(perMode_.size(), 2u);
    }

  private:
    std::map<int, int> perMode_;
};

TEST_F(Conformance, RequestsAreByteIdenticalToPymodbus) {
    for (const std::string& record : RecordsOf("REQ")) {
        std::istringstream in(record);
        int mode, address, function, reg, word;
        std::string frame;
        in >> mode >> address >> function >> reg >> word >> frame;
        TSettings settings;
        settings.Mode = static_cast<std::uint8_t>(mode);
        settings.Address = static_cast<std::uint8_t>(address);
        const auto r = static_cast<std::uint16_t>(reg);
        const ByteString built =
            function == 3 ? BuildReadRequest(settings, r)
                          : BuildWriteRequest(settings, r, static_cast<std::uint16_t>(word));
        EXPECT_EQ(built, FromHex(frame)) << record;
        Count(mode);
    }
    PrintSampleSizes("requests");
}

TEST_F(Conformance, ChecksumsEqualPymodbus) {
    for (const std::string& record : RecordsOf("SUM")) {
        std::istringstream in(record);
        int mode;
        unsigned expected;
        std::string hex;
        in >> mode >> hex >> expected;
        const ByteString bytes = FromHex(hex);
        if (mode == ModeRTU) {
            // pymodbus gives the CRC as the two bytes read high byte first.
            const std::uint16_t crc = Crc16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
            EXPECT_EQ(static_cast<unsigned>((crc & 0xFF) << 8 | crc >> 8), expected) << record;
        } else {
            EXPECT_EQ(Lrc(bytes), expected) << record;
        }
        Count(mode);
    }
    PrintSampleSizes("checksums");
}

TEST_F(Conformance, RepliesBuiltByPymodbusAreJudgedAlike) {
    const std::map<std::string, FrameCheck> verdicts = {
        {"GOOD", Good}, {"EXCEPTION", ExceptionReply}, {"BAD", BadFrame}};
    std::map<std::string, int> perVerdict;
    for (const std::string& record : RecordsOf("REPLY")) {
        std::istringstream in(record);
        int mode, address;
        std::size_t wordCount;
        std::string verdict, sent, reply;
        in >> mode >> address >> verdict >> sent >> reply >> wordCount;
        TSettings settings;
        settings.Mode = static_cast<std::uint8_t>(mode);
        settings.Address = static_cast<std::uint8_t>(address);
        ResponseWordArray words{};
        const ByteString received = FromHex(reply);
        const ByteString lastSent = FromHex(sent);
        ASSERT_TRUE(verdicts.contains(verdict)) << record;
        EXPECT_EQ(CheckReply(settings, received, lastSent, words), verdicts.at(verdict)) << record;
        for (std::size_t i = 0; i < wordCount; ++i) {
            unsigned word;
            in >> word;
            if (i < ResponseWordCount) {
                EXPECT_EQ(words[i], word) << "entry " << i << " of " << record;
            }
        }
        ++perVerdict[verdict];
        Count(mode);
    }
    for (const auto& [verdict, count] : perVerdict) {
        std::cout << "replies expected " << verdict << ": " << count << "\n";
    }
    PrintSampleSizes("replies");
}

} // namespace
} // namespace quorvel
