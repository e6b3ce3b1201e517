#include "FaultInjector.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

constexpr int Draws = 20000;

struct Tally {
    int drop = 0, exception = 0, corrupt = 0, garbage = 0;
};

Tally Count(const FaultRates& rates, std::uint64_t seed, LineMode mode = LineMode::Rtu) {
    FaultInjector injector(rates, seed);
    Tally tally;
    for (int i = 0; i < Draws; ++i) {
        const FaultPlan plan = injector.Next(mode, 1);
        tally.drop += plan.drop;
        tally.exception += plan.exception;
        tally.corrupt += plan.corrupt;
        tally.garbage += !plan.garbage.empty();
    }
    return tally;
}

TEST(FaultInjector, ZeroRatesGiveAFaultlessLine) {
    const Tally tally = Count(FaultRates{}, 7);
    EXPECT_EQ(tally.drop + tally.exception + tally.corrupt + tally.garbage, 0);
}

TEST(FaultInjector, EachRateIsHonouredOnItsOwn) {
    // Seeded, so the counts are fixed; the bounds only say "close to the rate".
    const std::vector<std::pair<double FaultRates::*, int Tally::*>> kinds{
        {&FaultRates::drop, &Tally::drop},
        {&FaultRates::exception, &Tally::exception},
        {&FaultRates::corrupt, &Tally::corrupt},
        {&FaultRates::garbage, &Tally::garbage}};
    for (const double rate : {0.01, 0.3, 0.9}) {
        for (const auto& [rateField, tallyField] : kinds) {
            FaultRates rates;
            rates.*rateField = rate;
            const Tally tally = Count(rates, 42);
            EXPECT_NEAR(tally.*tallyField, rate * Draws, 0.02 * Draws + 30) << rate;
            const int others =
                tally.drop + tally.exception + tally.corrupt + tally.garbage - tally.*tallyField;
            EXPECT_EQ(others, 0);
        }
    }
}

TEST(FaultInjector, RateOneAlwaysApplies) {
    FaultRates rates;
    rates.exception = rates.corrupt = rates.garbage = 1.0;
    const Tally tally = Count(rates, 3);
    EXPECT_EQ(tally.exception, Draws);
    EXPECT_EQ(tally.corrupt, Draws);
    EXPECT_EQ(tally.garbage, Draws);
}

TEST(FaultInjector, ADroppedReplyCarriesNoOtherFault) {
    FaultRates rates{1.0, 1.0, 1.0, 1.0};
    FaultInjector injector(rates, 5);
    for (int i = 0; i < 100; ++i) {
        const FaultPlan plan = injector.Next(LineMode::Ascii, 1);
        EXPECT_TRUE(plan.drop);
        EXPECT_FALSE(plan.exception || plan.corrupt || !plan.garbage.empty());
    }
}

std::vector<bool> Drops(const FaultRates& rates, std::uint64_t seed) {
    FaultInjector injector(rates, seed);
    std::vector<bool> drops;
    for (int i = 0; i < 500; ++i) {
        drops.push_back(injector.Next(LineMode::Rtu, 1).drop);
    }
    return drops;
}

TEST(FaultInjector, SameSeedRepeatsTheRunAndAnotherSeedDoesNot) {
    const FaultRates rates{0.5, 0.0, 0.0, 0.0};
    EXPECT_EQ(Drops(rates, 11), Drops(rates, 11));
    EXPECT_NE(Drops(rates, 11), Drops(rates, 12));
}

TEST(FaultInjector, GarbageDoesNotShiftTheOtherDecisions) {
    FaultRates without{0.5, 0.0, 0.0, 0.0};
    FaultRates with = without;
    with.garbage = 0.7;
    EXPECT_EQ(Drops(without, 99), Drops(with, 99));
}

TEST(FaultInjector, StrayBytesCannotPassForAReplyStart) {
    FaultRates rates;
    rates.garbage = 1.0;
    for (const std::uint8_t address :
         {std::uint8_t{0x00}, std::uint8_t{0x01}, std::uint8_t{0x3A}}) {
        FaultInjector rtu(rates, address);
        FaultInjector ascii(rates, address);
        for (int i = 0; i < 2000; ++i) {
            const ByteString rtuBytes = rtu.Next(LineMode::Rtu, address).garbage;
            ASSERT_GE(rtuBytes.size(), 1u);
            ASSERT_LE(rtuBytes.size(), 4u);
            EXPECT_NE(rtuBytes.front(), address);
            for (const std::uint8_t byte : ascii.Next(LineMode::Ascii, address).garbage) {
                EXPECT_TRUE(byte != ':' && byte != '\r' && byte != '\n') << int(byte);
            }
        }
    }
}

} // namespace
} // namespace quorvel::sim
