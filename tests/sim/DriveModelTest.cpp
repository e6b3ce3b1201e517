#include "DriveModel.h"

#include "DriveRegisters.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

// Frequency words by the split scale: hundredths up to 327.67 Hz, then tenths offset by 29491.
constexpr std::uint16_t Word50Hz = 5000;
constexpr std::uint16_t Word10Hz = 1000;
constexpr std::uint16_t Word400Hz = 4000 + 29491;

DriveSettings Running(std::uint16_t reference, bool frozen) {
    DriveSettings settings;
    settings.controlReference = reference;
    settings.virtualInputs = 0x01;
    settings.frozen = frozen;
    return settings;
}

TEST(DriveModelFrozen, OutputFrequencyIsTheReferenceWhileInputOneIsOn) {
    DriveModel drive(Running(Word50Hz, true));
    EXPECT_EQ(drive.Registers().outputFrequency, Word50Hz);
    drive.Write(RegVirtualInputs, 0x02); // input 1 off, input 2 on
    EXPECT_EQ(drive.Registers().outputFrequency, 0);
    drive.Write(RegVirtualInputs, 0x03);
    drive.Write(RegControlRefSignal, Word400Hz);
    EXPECT_EQ(drive.Registers().outputFrequency, Word400Hz);
}

TEST(DriveModelRamp, StartsAtStandstillAndClimbsAtTheRampRate) {
    DriveModel drive(Running(Word50Hz, false));
    EXPECT_EQ(drive.Registers().outputFrequency, 0);
    drive.Advance(1.0); // default 10 Hz/s
    EXPECT_EQ(drive.Registers().outputFrequency, Word10Hz);
}

TEST(DriveModelRamp, StopsExactlyAtTheReferenceWord) {
    for (const std::uint16_t reference :
         {Word50Hz, std::uint16_t{1234}, Word400Hz, std::uint16_t{65535}}) {
        DriveSettings settings = Running(reference, false);
        settings.rampHzPerSecond = 1000.0;
        DriveModel drive(settings);
        for (int i = 0; i < 10; ++i) {
            drive.Advance(1.0);
        }
        EXPECT_EQ(drive.Registers().outputFrequency, reference);
    }
}

TEST(DriveModelRamp, RampsBackToZeroWhenInputOneGoesOff) {
    DriveModel drive(Running(Word50Hz, false));
    drive.Advance(10.0);
    ASSERT_EQ(drive.Registers().outputFrequency, Word50Hz);
    drive.Write(RegVirtualInputs, 0x00);
    drive.Advance(4.0);
    EXPECT_EQ(drive.Registers().outputFrequency, Word10Hz);
    drive.Advance(100.0);
    EXPECT_EQ(drive.Registers().outputFrequency, 0);
}

TEST(DriveModelRamp, TimeGoingBackwardsChangesNothing) {
    DriveModel drive(Running(Word50Hz, false));
    drive.Advance(-5.0);
    EXPECT_EQ(drive.Registers().outputFrequency, 0);
}

TEST(DriveModelCurrent, FollowsTheOutputFrequency) {
    DriveModel drive(Running(Word50Hz, false));
    EXPECT_EQ(drive.Registers().motorCurrent, 0);
    drive.Advance(1.0);
    EXPECT_EQ(drive.Registers().motorCurrent, MotorCurrentTenths(10.0));
    drive.Advance(10.0);
    EXPECT_EQ(drive.Registers().motorCurrent, MotorCurrentTenths(50.0));
    EXPECT_GT(MotorCurrentTenths(50.0), MotorCurrentTenths(10.0));
}

TEST(DriveModelCurrent, IsZeroAtStandstillAndNeverWrapsAround) {
    EXPECT_EQ(MotorCurrentTenths(0.0), 0);
    EXPECT_EQ(MotorCurrentTenths(-1.0), 0);
    EXPECT_GT(MotorCurrentTenths(0.01), 0);
    EXPECT_GE(MotorCurrentTenths(3604.4), MotorCurrentTenths(3000.0));
    EXPECT_EQ(MotorCurrentTenths(1e9), 65535);
}

struct WriteCase {
    std::uint16_t reg;
    std::uint16_t value;
    WriteOutcome outcome;
    std::uint16_t readBack; // what a read of reg gives afterwards
};

class DriveModelWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(DriveModelWrite, StoresOnlyTheWritableRegisters) {
    const WriteCase& c = GetParam();
    DriveModel drive(Running(Word50Hz, true));
    EXPECT_EQ(drive.Write(c.reg, c.value), c.outcome);
    if (c.outcome == WriteOutcome::NotARegister) {
        EXPECT_FALSE(drive.Read(c.reg).has_value());
    } else {
        EXPECT_EQ(drive.Read(c.reg), c.readBack);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Registers, DriveModelWrite,
    ::testing::Values(WriteCase{RegControlRefSignal, 0x1388, WriteOutcome::Stored, 0x1388},
                      WriteCase{RegControlRefSignal, 0xFFFF, WriteOutcome::Stored, 0xFFFF},
                      WriteCase{RegVirtualInputs, 0x003F, WriteOutcome::Stored, 0x003F},
                      // bits 6-15 are ignored by the drive
                      WriteCase{RegVirtualInputs, 0xFFC5, WriteOutcome::Stored, 0x0005},
                      WriteCase{RegOutputFrequency, 0x0001, WriteOutcome::ReadOnly, Word50Hz},
                      WriteCase{RegMotorCurrent, 0x0001, WriteOutcome::ReadOnly, 120},
                      WriteCase{0xF000, 0x0001, WriteOutcome::NotARegister, 0},
                      WriteCase{0xF511, 0x0001, WriteOutcome::NotARegister, 0}));

TEST(DriveModelRead, ServesExactlyTheFourRegisters) {
    DriveModel drive(Running(Word50Hz, true));
    int served = 0;
    for (std::uint32_t reg = 0; reg <= 0xFFFF; ++reg) {
        served += drive.Read(static_cast<std::uint16_t>(reg)).has_value() ? 1 : 0;
    }
    EXPECT_EQ(served, 4);
    EXPECT_EQ(drive.Read(RegControlRefSignal), Word50Hz);
    EXPECT_EQ(drive.Read(RegVirtualInputs), 0x01);
}

TEST(DriveModelSettings, InitialInputsAreMaskedLikeWrittenOnes) {
    DriveSettings settings;
    settings.virtualInputs = 0xFF41;
    EXPECT_EQ(DriveModel(settings).Registers().virtualInputs, 0x0001);
}

} // namespace
} // namespace quorvel::sim
