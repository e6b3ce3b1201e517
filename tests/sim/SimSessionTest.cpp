#include "SimSession.h"

#include "FrameCodec.h"
#include "SimTestFrames.h"

#include "DriveRegisters.h"

#include <gtest/gtest.h>

namespace quorvel::sim {
namespace {

using namespace testframes;

DriveModel FrozenDrive() {
    DriveSettings settings;
    settings.frozen = true;
    settings.controlReference = 5000; // 50 Hz
    settings.virtualInputs = 0x01;
    return DriveModel(settings);
}

SimSession Session(const FaultRates& rates = {}, std::uint8_t address = 1) {
    return SimSession(address, FrozenDrive(), FaultInjector(rates, 1));
}

std::uint64_t Accounted(const SimCounters& c) {
    return c.requestsBadChecksum + c.requestsOtherAddress + c.repliesGood + c.repliesException +
           c.repliesCorrupted + c.repliesDropped;
}

struct ExchangeCase {
    const char* name;
    LineMode mode;
    ByteString request;
    std::optional<ByteString> reply;
    std::uint64_t SimCounters::*counter;
};

class AnswersLikeADrive : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(AnswersLikeADrive, AndCountsTheFrameOnce) {
    const ExchangeCase& c = GetParam();
    SimSession session = Session();
    const HandledFrame handled = session.Handle({c.mode, c.request}, 0.0);
    EXPECT_EQ(handled.reply, c.reply);
    const SimCounters& counters = session.Counters();
    EXPECT_EQ(counters.requests, 1u);
    EXPECT_EQ(counters.*(c.counter), 1u);
    EXPECT_EQ(Accounted(counters), counters.requests);
}

ByteString BadCrc(ByteString frame) {
    frame.back() ^= 0x40;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, AnswersLikeADrive,
    ::testing::Values(
        // 50 Hz is frequency word 5000 = 0x1388.
        ExchangeCase{"AsciiRead", LineMode::Ascii, AsciiReadFrequency, Ascii(":01030213885F"),
                     &SimCounters::repliesGood},
        ExchangeCase{"RtuRead", LineMode::Rtu, RtuReadFrequency,
                     ByteString{0x01, 0x03, 0x02, 0x13, 0x88, 0xB5, 0x12},
                     &SimCounters::repliesGood},
        ExchangeCase{"AsciiWriteIsEchoed", LineMode::Ascii, AsciiWriteReference,
                     AsciiWriteReference, &SimCounters::repliesGood},
        ExchangeCase{"AsciiLowerCaseWriteIsEchoedByteForByte", LineMode::Ascii,
                     Ascii(":0106f510138859"), Ascii(":0106f510138859"), &SimCounters::repliesGood},
        ExchangeCase{"RtuWriteIsEchoed", LineMode::Rtu, RtuWriteReference, RtuWriteReference,
                     &SimCounters::repliesGood},
        ExchangeCase{"AsciiUnservedRegister", LineMode::Ascii, Ascii(":010300000001FB"),
                     Ascii(":0183027A"), &SimCounters::repliesException},
        ExchangeCase{"RtuUnservedRegister", LineMode::Rtu, RtuReadZero,
                     ByteString{0x01, 0x83, 0x02, 0xC0, 0xF1}, &SimCounters::repliesException},
        ExchangeCase{"OtherAddressIsIgnored", LineMode::Rtu, RtuReadCurrentAt16, std::nullopt,
                     &SimCounters::requestsOtherAddress},
        ExchangeCase{"AsciiOtherAddressIsIgnored", LineMode::Ascii, AsciiReadCurrentAt16,
                     std::nullopt, &SimCounters::requestsOtherAddress},
        ExchangeCase{"BadCrcIsIgnored", LineMode::Rtu, BadCrc(RtuReadFrequency), std::nullopt,
                     &SimCounters::requestsBadChecksum},
        ExchangeCase{"BadLrcIsIgnored", LineMode::Ascii, Ascii(":0103F098000172"), std::nullopt,
                     &SimCounters::requestsBadChecksum}),
    [](const auto& info) { return std::string(info.param.name); });

// The echo of a stored write may take the drive longer (--write-turnaround-ms); nothing else.
TEST(SimSessionWriteEcho, OnlyTheReplyToAStoredWriteIsMarkedAsItsEcho) {
    SimSession session = Session();
    EXPECT_TRUE(session.Handle({LineMode::Rtu, RtuWriteReference}, 0.0).writeEcho);
    EXPECT_TRUE(session.Handle({LineMode::Ascii, AsciiWriteReference}, 0.0).writeEcho);
    EXPECT_FALSE(session.Handle({LineMode::Rtu, RtuReadFrequency}, 0.0).writeEcho);
    EXPECT_FALSE(session.Handle({LineMode::Rtu, RtuReadZero}, 0.0).writeEcho); // exception
    FaultRates refuse;
    refuse.exception = 1.0;
    SimSession failing = Session(refuse);
    EXPECT_FALSE(failing.Handle({LineMode::Rtu, RtuWriteReference}, 0.0).writeEcho);
    FaultRates corrupt;
    corrupt.corrupt = 1.0;
    SimSession noisy = Session(corrupt);
    EXPECT_TRUE(noisy.Handle({LineMode::Rtu, RtuWriteReference}, 0.0).writeEcho)
        << "the value was stored; only the echo is damaged";
}

TEST(SimSessionFaults, InjectedExceptionIsCodeFourAndTheWriteDoesNotHappen) {
    FaultRates rates;
    rates.exception = 1.0;
    SimSession session = Session(rates);
    const HandledFrame handled = session.Handle({LineMode::Rtu, RtuWriteReference}, 0.0);
    ASSERT_TRUE(handled.reply.has_value());
    const auto reply = DecodeFrame(LineMode::Rtu, *handled.reply);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->function, 0x86);
    EXPECT_EQ(reply->data, ByteString{0x04});
    EXPECT_EQ(session.Registers().controlReference, 5000);
    EXPECT_EQ(session.Counters().repliesException, 1u);
    EXPECT_EQ(session.Counters().exceptionsInjected, 1u);
}

TEST(SimSessionFaults, DroppedReplyIsSilentButTheWriteHappens) {
    FaultRates rates;
    rates.drop = 1.0;
    SimSession session = Session(rates);
    EXPECT_FALSE(session.Handle({LineMode::Ascii, AsciiWriteReference}, 0.0).reply.has_value());
    EXPECT_EQ(session.Registers().controlReference, 0x1388);
    EXPECT_EQ(session.Counters().repliesDropped, 1u);
}

TEST(SimSessionFaults, CorruptedReplyFailsItsChecksumInBothModes) {
    FaultRates rates;
    rates.corrupt = 1.0;
    SimSession session = Session(rates);
    for (const auto& [mode, request] : {std::pair{LineMode::Ascii, AsciiReadFrequency},
                                        std::pair{LineMode::Rtu, RtuReadFrequency},
                                        std::pair{LineMode::Rtu, RtuWriteReference}}) {
        const HandledFrame handled = session.Handle({mode, request}, 0.0);
        ASSERT_TRUE(handled.reply.has_value());
        EXPECT_FALSE(DecodeFrame(mode, *handled.reply).has_value());
    }
    EXPECT_EQ(session.Counters().repliesCorrupted, 3u);
    EXPECT_EQ(session.Counters().repliesGood, 0u);
}

TEST(SimSessionFaults, GarbageComesBeforeAnIntactReply) {
    FaultRates rates;
    rates.garbage = 1.0;
    SimSession session = Session(rates);
    const HandledFrame handled = session.Handle({LineMode::Ascii, AsciiReadFrequency}, 0.0);
    ASSERT_TRUE(handled.reply.has_value());
    const ByteString expected = Ascii(":01030213885F");
    const ByteString& reply = *handled.reply;
    ASSERT_GT(reply.size(), expected.size());
    const std::size_t stray = reply.size() - expected.size();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reply.begin() + static_cast<std::ptrdiff_t>(stray)));
    EXPECT_EQ(session.Counters().garbageBursts, 1u);
    EXPECT_EQ(session.Counters().repliesGood, 1u);
}

TEST(SimSessionFaults, EveryRequestIsAccountedForExactlyOnce) {
    SimSession session = Session(FaultRates{0.2, 0.2, 0.2, 0.2});
    const std::vector<std::pair<LineMode, ByteString>> requests{
        {LineMode::Ascii, AsciiReadFrequency},      {LineMode::Rtu, RtuReadFrequency},
        {LineMode::Ascii, AsciiWriteReference},     {LineMode::Rtu, RtuReadCurrentAt16},
        {LineMode::Rtu, BadCrc(RtuWriteReference)}, {LineMode::Rtu, RtuReadZero}};
    for (int round = 0; round < 200; ++round) {
        for (const auto& [mode, bytes] : requests) {
            session.Handle({mode, bytes}, round);
        }
    }
    const SimCounters& c = session.Counters();
    EXPECT_EQ(c.requests, 200u * requests.size());
    EXPECT_EQ(Accounted(c), c.requests);
    EXPECT_GT(c.repliesDropped, 0u);
    EXPECT_GT(c.repliesCorrupted, 0u);
    EXPECT_GT(c.exceptionsInjected, 0u);
    EXPECT_GT(c.garbageBursts, 0u);
}

TEST(SimSessionTime, TheRampRunsOnTheRequestsClock) {
    DriveSettings settings;
    settings.controlReference = 5000;
    settings.virtualInputs = 0x01;
    SimSession session(1, DriveModel(settings), FaultInjector({}, 1));
    session.Handle({LineMode::Rtu, RtuReadFrequency}, 1.0);
    EXPECT_EQ(session.Registers().outputFrequency, 1000);   // 10 Hz after one second
    session.Handle({LineMode::Rtu, RtuReadFrequency}, 0.5); // clock never runs backwards
    EXPECT_EQ(session.Registers().outputFrequency, 1000);
    session.AdvanceTo(3.0);
    EXPECT_EQ(session.Registers().outputFrequency, 3000);
}

} // namespace
} // namespace quorvel::sim
