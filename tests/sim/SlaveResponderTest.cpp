#include "SlaveResponder.h"

#include "DriveRegisters.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

DriveModel KnownDrive() {
    DriveSettings settings;
    settings.frozen = true;
    settings.controlReference = 0x1388;
    settings.virtualInputs = 0x05;
    return DriveModel(settings);
}

ByteString Pdu(std::uint16_t a, std::uint16_t b) {
    return {static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a & 0xFF),
            static_cast<std::uint8_t>(b >> 8), static_cast<std::uint8_t>(b & 0xFF)};
}

struct RefusalCase {
    const char* name;
    std::uint8_t function;
    ByteString data;
    std::uint8_t exceptionCode;
};

class RefusesRequest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusesRequest, WithTheMatchingException) {
    const RefusalCase& c = GetParam();
    DriveModel drive = KnownDrive();
    const DriveRegisters before = drive.Registers();
    const SlaveAnswer answer = Respond(drive, c.function, c.data);
    EXPECT_EQ(answer.kind, AnswerKind::Exception);
    EXPECT_EQ(answer.function, c.function | 0x80);
    EXPECT_EQ(answer.data, ByteString{c.exceptionCode});
    const DriveRegisters after = drive.Registers();
    EXPECT_EQ(after.controlReference, before.controlReference);
    EXPECT_EQ(after.virtualInputs, before.virtualInputs);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RefusesRequest,
    ::testing::Values(
        RefusalCase{"ReadUnservedRegister", 3, Pdu(0xF000, 1), 0x02},
        RefusalCase{"ReadTwoRegistersPastAServedOne", 3, Pdu(RegOutputFrequency, 2), 0x02},
        RefusalCase{"ReadRunningPastTheLastAddress", 3, Pdu(0xFFFF, 2), 0x02},
        RefusalCase{"ReadQuantityZero", 3, Pdu(RegOutputFrequency, 0), 0x03},
        RefusalCase{"ReadQuantityAboveLimit", 3, Pdu(RegOutputFrequency, 126), 0x03},
        RefusalCase{"ReadShortData", 3, ByteString{0xF0, 0x98, 0x00}, 0x03},
        RefusalCase{"WriteOutputFrequency", 6, Pdu(RegOutputFrequency, 1), 0x02},
        RefusalCase{"WriteMotorCurrent", 6, Pdu(RegMotorCurrent, 1), 0x02},
        RefusalCase{"WriteUnservedRegister", 6, Pdu(0x0000, 1), 0x02},
        RefusalCase{"WriteLongData", 6, ByteString{0xF5, 0x10, 0x00, 0x01, 0x00}, 0x03},
        RefusalCase{"ReadInputRegisters", 4, Pdu(RegOutputFrequency, 1), 0x01},
        RefusalCase{"WriteMultipleRegisters", 16, Pdu(RegControlRefSignal, 1), 0x01},
        RefusalCase{"UnknownFunction", 0x2B, ByteString{}, 0x01}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadHolding, AnswersEachServedRegisterWithOneWord) {
    DriveModel drive = KnownDrive();
    const DriveRegisters words = drive.Registers();
    const std::vector<std::pair<std::uint16_t, std::uint16_t>> expected{
        {RegOutputFrequency, words.outputFrequency},
        {RegMotorCurrent, words.motorCurrent},
        {RegControlRefSignal, 0x1388},
        {RegVirtualInputs, 0x0005}};
    for (const auto& [reg, word] : expected) {
        const SlaveAnswer answer = Respond(drive, 3, Pdu(reg, 1));
        EXPECT_EQ(answer.kind, AnswerKind::ReadReply);
        EXPECT_EQ(answer.function, 3);
        EXPECT_EQ(answer.data, (ByteString{2, static_cast<std::uint8_t>(word >> 8),
                                           static_cast<std::uint8_t>(word & 0xFF)}))
            << std::hex << reg;
    }
}

TEST(WriteSingle, StoresTheValueAndAsksForTheEcho) {
    DriveModel drive = KnownDrive();
    const SlaveAnswer reference = Respond(drive, 6, Pdu(RegControlRefSignal, 0x0BB8));
    const SlaveAnswer inputs = Respond(drive, 6, Pdu(RegVirtualInputs, 0x0003));
    EXPECT_EQ(reference.kind, AnswerKind::WriteEcho);
    EXPECT_EQ(inputs.kind, AnswerKind::WriteEcho);
    EXPECT_EQ(drive.Registers().controlReference, 0x0BB8);
    EXPECT_EQ(drive.Registers().virtualInputs, 0x0003);
}

} // namespace
} // namespace quorvel::sim
