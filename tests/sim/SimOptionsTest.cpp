#include "SimOptions.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

ParsedOptions Parse(std::vector<std::string> args) {
    return ParseSimOptions(args);
}

TEST(SimOptions, DefaultsAreAFaultlessDriveAtAddressOne) {
    const ParsedOptions parsed = Parse({});
    ASSERT_EQ(parsed.error, "");
    const SimOptions& o = parsed.options;
    EXPECT_EQ(o.name, "KELMAR1");
    EXPECT_EQ(o.address, 1);
    EXPECT_EQ(o.mode, ListenMode::Auto);
    EXPECT_FALSE(o.drive.frozen);
    EXPECT_EQ(o.drive.controlReference, 0);
    EXPECT_EQ(o.drive.virtualInputs, 0);
    EXPECT_EQ(o.durationSeconds, 0.0);
    EXPECT_EQ(o.faults.drop + o.faults.corrupt + o.faults.garbage + o.faults.exception, 0.0);
    EXPECT_EQ(o.pacing.baud, 0u);
    EXPECT_EQ(o.pacing.split, 0u);
    EXPECT_EQ(o.turnaroundMs, 0u);
    EXPECT_FALSE(o.writeTurnaroundMs.has_value());
    EXPECT_FALSE(o.seed.has_value());
}

TEST(SimOptions, ReadsEveryOptionInBothSpellings) {
    for (const bool withEquals : {false, true}) {
        const std::vector<std::pair<std::string, std::string>> pairs{
            {"--name", "BENCH7"},
            {"--address", "16"},
            {"--mode", "rtu"},
            {"--reference", "50"},
            {"--inputs", "0b101"},
            {"--ramp", "25"},
            {"--duration", "2.5"},
            {"--status-file", "/x/s"},
            {"--turnaround-ms", "20"},
            {"--baud", "9600"},
            {"--split", "3"},
            {"--split-gap-ms", "4"},
            {"--gap-ms", "15"},
            {"--drop-rate", "0.1"},
            {"--corrupt-rate", "0.2"},
            {"--garbage-rate", "0.3"},
            {"--exception-rate", "1"},
            {"--seed", "123"},
            {"--write-turnaround-ms", "300"}};
        std::vector<std::string> args{"--frozen", "--verbose"};
        for (const auto& [name, value] : pairs) {
            if (withEquals) {
                args.push_back(name + "=" + value);
            } else {
                args.push_back(name);
                args.push_back(value);
            }
        }
        const ParsedOptions parsed = Parse(args);
        ASSERT_EQ(parsed.error, "");
        const SimOptions& o = parsed.options;
        EXPECT_EQ(o.name, "BENCH7");
        EXPECT_EQ(o.address, 16);
        EXPECT_EQ(o.mode, ListenMode::Rtu);
        EXPECT_EQ(o.drive.controlReference, 5000); // 50 Hz in hundredths
        EXPECT_EQ(o.drive.virtualInputs, 5);
        EXPECT_EQ(o.drive.rampHzPerSecond, 25.0);
        EXPECT_TRUE(o.drive.frozen);
        EXPECT_TRUE(o.verbose);
        EXPECT_EQ(o.durationSeconds, 2.5);
        EXPECT_EQ(o.statusFile, "/x/s");
        EXPECT_EQ(o.turnaroundMs, 20u);
        EXPECT_EQ(o.writeTurnaroundMs, 300u);
        EXPECT_EQ(o.pacing.baud, 9600u);
        EXPECT_EQ(o.pacing.split, 3u);
        EXPECT_EQ(o.pacing.splitGap, std::chrono::milliseconds{4});
        EXPECT_EQ(o.gapMs, 15u);
        EXPECT_EQ(o.faults.drop, 0.1);
        EXPECT_EQ(o.faults.corrupt, 0.2);
        EXPECT_EQ(o.faults.garbage, 0.3);
        EXPECT_EQ(o.faults.exception, 1.0);
        EXPECT_EQ(o.seed, 123u);
    }
}

struct NumberCase {
    const char* text;
    std::uint16_t inputs;
};

TEST(SimOptions, InputsAcceptDecimalHexAndBinary) {
    for (const NumberCase& c : {NumberCase{"0", 0}, NumberCase{"63", 63}, NumberCase{"0x3F", 63},
                                NumberCase{"0b110001", 49}, NumberCase{"010", 10}}) {
        const ParsedOptions parsed = Parse({"--inputs", c.text});
        ASSERT_EQ(parsed.error, "") << c.text;
        EXPECT_EQ(parsed.options.drive.virtualInputs, c.inputs) << c.text;
    }
}

TEST(SimOptions, ReferenceUsesTheUpperScaleAbove327Hz) {
    const ParsedOptions parsed = Parse({"--reference", "400"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.drive.controlReference, 4000 + 29491);
}

class RejectsCommandLine : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(RejectsCommandLine, WithAnError) {
    EXPECT_NE(Parse(GetParam()).error, "");
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, RejectsCommandLine,
    ::testing::Values(
        std::vector<std::string>{"--unknown"}, std::vector<std::string>{"--address"},
        std::vector<std::string>{"--address", "248"}, std::vector<std::string>{"--address", "-1"},
        std::vector<std::string>{"--address", "1x"}, std::vector<std::string>{"--mode", "ASCII7"},
        std::vector<std::string>{"--reference", "3604.5"},
        std::vector<std::string>{"--reference", "-1"},
        std::vector<std::string>{"--reference", "nan"},
        std::vector<std::string>{"--inputs", "0x10000"},
        std::vector<std::string>{"--inputs", "0b2"}, std::vector<std::string>{"--drop-rate", "1.5"},
        std::vector<std::string>{"--corrupt-rate", "-0.1"}, std::vector<std::string>{"--ramp", "0"},
        std::vector<std::string>{"--duration", "0"}, std::vector<std::string>{"--baud", "10"},
        std::vector<std::string>{"--gap-ms", "0"},
        std::vector<std::string>{"--write-turnaround-ms", "60001"},
        std::vector<std::string>{"--write-turnaround-ms", "-5"},
        std::vector<std::string>{"--name", "a/b"}, std::vector<std::string>{"--name", ".."},
        std::vector<std::string>{"--name="}, std::vector<std::string>{"--frozen=1"},
        std::vector<std::string>{"stray"}));

} // namespace
} // namespace quorvel::sim
