// Frequency-word encoding of an entered control reference, and its decoding.
#include "DriveRegisters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorvel {
namespace {

struct EncodeCase {
    double hz;
    std::uint16_t word;
};

class FrequencyWordEncoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(FrequencyWordEncoding, CutsTheScaledValueTowardZero) {
    const auto word = EncodeFrequencyWord(GetParam().hz);
    ASSERT_TRUE(word.has_value()) << GetParam().hz;
    EXPECT_EQ(*word, GetParam().word) << GetParam().hz;
}

INSTANTIATE_TEST_SUITE_P(Cases, FrequencyWordEncoding,
                         ::testing::Values(EncodeCase{0.0, 0}, EncodeCase{-0.0, 0},
                                           EncodeCase{0.29, 28}, EncodeCase{50.0, 5000},
                                           EncodeCase{327.67, 32767}, EncodeCase{327.68, 32767},
                                           EncodeCase{327.7, 32768}, EncodeCase{1000.0, 39491},
                                           EncodeCase{3604.4, 65535}));

class FrequencyWordRefusal : public ::testing::TestWithParam<double> {};

TEST_P(FrequencyWordRefusal, GivesNoWord) {
    EXPECT_FALSE(EncodeFrequencyWord(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Cases, FrequencyWordRefusal,
                         ::testing::Values(3604.5, 3604.41, -1.0, -0.001, 1e300,
                                           std::numeric_limits<double>::infinity(),
                                           -std::numeric_limits<double>::infinity(),
                                           std::numeric_limits<double>::quiet_NaN()));

struct DecodeCase {
    std::uint16_t word;
    double hz;
};

class FrequencyWordDecoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(FrequencyWordDecoding, UsesTheSplitScale) {
    EXPECT_NEAR(DecodeFrequencyWord(GetParam().word), GetParam().hz, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrequencyWordDecoding,
                         ::testing::Values(DecodeCase{0, 0.0}, DecodeCase{5000, 50.0},
                                           DecodeCase{32767, 327.67}, DecodeCase{32768, 327.7},
                                           DecodeCase{39491, 1000.0}, DecodeCase{65535, 3604.4}));

TEST(FrequencyWordDecoding, EveryUpperScaleWordSurvivesDecodeAndEncode) {
    // Above the split each word is a whole tenth of a hertz: a value read back and entered
    // again must give the same word (below the split the cut may lose a hundredth).
    for (unsigned word = 32768; word <= 65535; ++word) {
        const auto back =
            EncodeFrequencyWord(DecodeFrequencyWord(static_cast<std::uint16_t>(word)));
        ASSERT_TRUE(back.has_value());
        ASSERT_EQ(*back, word) << word;
    }
}

} // namespace
} // namespace quorvel
