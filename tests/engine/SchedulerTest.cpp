// The choice of the next request: read order, writes first, markers, nothing to send.
#include "DriveRegisters.h"
#include "EngineFakes.h"
#include "ReplyFrames.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

constexpr std::array<std::uint16_t, 4> ReadRegisters{RegOutputFrequency, RegMotorCurrent,
                                                     RegControlRefSignal, RegVirtualInputs};

struct ReadOrderCase {
    const char* name;
    std::array<bool, 4> enabled;
    std::vector<int> order; // PollList indexes chosen by consecutive selections after opening
};

class EngineReadOrder : public ::testing::TestWithParam<ReadOrderCase> {};

TEST_P(EngineReadOrder, FollowsEnabledQueriesFromEntryAfterOpening) {
    const ReadOrderCase& c = GetParam();
    EngineRig rig(ModeRTU);
    rig.Engine.Check_QueryClick(c.enabled[0], c.enabled[1], c.enabled[2], c.enabled[3]);
    for (const int expected : c.order) {
        rig.Engine.SelectNextRequest();
        ASSERT_EQ(rig.Engine.PendingRequest.Active, 1);
        EXPECT_EQ(rig.Engine.PollIndex, expected);
        EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
        EXPECT_EQ(rig.Engine.PendingRequest.Register, ReadRegisters.at(expected));
        EXPECT_EQ(rig.Engine.PendingRequest.Value, 0);
        EXPECT_EQ(rig.View.MarkerTop.at(Marker::Query), 25 + 25 * expected);
        EXPECT_TRUE(rig.View.MarkerShown.at(Marker::Query));
        EXPECT_FALSE(rig.View.MarkerShown.at(Marker::Set));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineReadOrder,
    ::testing::Values(ReadOrderCase{"AllFour", {true, true, true, true}, {1, 2, 3, 0, 1, 2}},
                      ReadOrderCase{"OnlyFrequency", {true, false, false, false}, {0, 0, 0}},
                      ReadOrderCase{"OnlyVirtualInputs", {false, false, false, true}, {3, 3}},
                      ReadOrderCase{"FrequencyAndInputs", {true, false, false, true}, {3, 0, 3}},
                      ReadOrderCase{"CurrentAndReference", {false, true, true, false}, {1, 2, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineScheduler, FirstFramesAfterOpeningReadCurrentReferenceInputsThenFrequency) {
    EngineRig rig(ModeASCII);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(rig.TickUntilSent(10), 1);
        rig.Engine.HandleReply(ReadReply(ModeASCII, 1, 0)); // any good answer ends the exchange
    }
    ASSERT_EQ(rig.Port.Writes.size(), 4U);
    const std::array<std::uint16_t, 4> expected{RegMotorCurrent, RegControlRefSignal,
                                                RegVirtualInputs, RegOutputFrequency};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(RequestRegister(ModeASCII, rig.Port.Writes[i]), expected[i]) << "frame " << i;
    }
}

TEST(EngineScheduler, BothWritesGoFirstControlReferenceBeforeInputsThenReadsResume) {
    EngineRig rig(ModeRTU);
    rig.Engine.SelectNextRequest(); // serves read 1
    rig.Engine.QueueWrite(1, 0x25);
    rig.Engine.QueueWrite(0, 5000);

    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.Register, RegControlRefSignal);
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionWriteSingle);
    EXPECT_EQ(rig.Engine.PendingRequest.Value, 5000);
    EXPECT_EQ(rig.View.MarkerTop.at(Marker::Set), 25);
    EXPECT_TRUE(rig.View.MarkerShown.at(Marker::Set));
    EXPECT_FALSE(rig.View.MarkerShown.at(Marker::Query));

    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.Register, RegVirtualInputs);
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionWriteSingle);
    EXPECT_EQ(rig.Engine.PendingRequest.Value, 0x25);
    EXPECT_EQ(rig.View.MarkerTop.at(Marker::Set), 102);
    EXPECT_EQ(rig.Engine.PollIndex, 1) << "writes leave the read position alone";

    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
    EXPECT_EQ(rig.Engine.PollIndex, 2);
    EXPECT_FALSE(rig.View.MarkerShown.at(Marker::Set));
    EXPECT_TRUE(rig.View.MarkerShown.at(Marker::Query));
}

TEST(EngineScheduler, RequeuedWriteIsSentOnceWithLatestValue) {
    EngineRig rig(ModeRTU);
    rig.Engine.QueueWrite(0, 1000);
    rig.Engine.QueueWrite(0, 2000);
    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.Value, 2000);
    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
}

TEST(EngineScheduler, CancelledWriteIsNotSent) {
    EngineRig rig(ModeRTU);
    rig.Engine.QueueWrite(0, 1000);
    rig.Engine.CancelWrite(0);
    rig.Engine.SelectNextRequest();
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
}

bool SameEntry(const QueryEntry& a, const QueryEntry& b) {
    return a.Active == b.Active && a.FunctionCode == b.FunctionCode && a.Register == b.Register &&
           a.Value == b.Value;
}

// PendingRequest lies right behind WriteList, so an unchecked index 2 would land in it.
TEST(EngineScheduler, WriteQueueIndexOutsideTableChangesNothing) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.QueueWrite(1, 0x15);
    const TPollEngine before = rig.Engine;
    for (const std::size_t index : {std::size_t{2}, std::size_t{3}, std::size_t{7}}) {
        rig.Engine.QueueWrite(index, 0x2222);
        rig.Engine.CancelWrite(index);
    }
    EXPECT_TRUE(SameEntry(rig.Engine.PendingRequest, before.PendingRequest));
    for (std::size_t i = 0; i < before.WriteList.size(); ++i) {
        EXPECT_TRUE(SameEntry(rig.Engine.WriteList[i], before.WriteList[i])) << i;
    }
    for (std::size_t i = 0; i < before.PollList.size(); ++i) {
        EXPECT_TRUE(SameEntry(rig.Engine.PollList[i], before.PollList[i])) << i;
    }
    EXPECT_EQ(rig.Engine.PollIndex, before.PollIndex);
    EXPECT_EQ(rig.Engine.PollPhase, before.PollPhase);
}

TEST(EngineScheduler, NoQueryEnabledSendsNothingHidesMarkersAndAdvancesIndex) {
    EngineRig rig(ModeASCII);
    rig.Engine.QueueWrite(0, 100);
    ASSERT_EQ(rig.TickUntilSent(), 1); // the write shows the set marker
    rig.Engine.HandleReply(rig.Engine.ExchangeState.LastSentFrame);
    rig.Engine.Check_QueryClick(false, false, false, false);
    const int refreshesBefore = rig.View.CounterRefreshes;
    for (int tick = 1; tick <= 300; ++tick) {
        rig.Tick();
        ASSERT_EQ(rig.Engine.PollIndex, tick % 256) << "tick " << tick;
    }
    EXPECT_EQ(rig.Port.Writes.size(), 1U);
    EXPECT_EQ(rig.Engine.PendingRequest.Active, 0);
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
    EXPECT_FALSE(rig.View.MarkerShown.at(Marker::Query));
    EXPECT_FALSE(rig.View.MarkerShown.at(Marker::Set));
    EXPECT_EQ(rig.View.CounterRefreshes - refreshesBefore, 300 * 5);
}

TEST(EngineScheduler, WriteWithoutAnswerIsNotSentAgain) {
    EngineRig rig(ModeRTU);
    rig.Engine.QueueWrite(1, 0x3F);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString write = rig.Port.Writes.back();
    ASSERT_EQ(rig.TickUntilSent(), 6); // timeout, then the next request
    EXPECT_NE(rig.Port.Writes.back(), write);
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
}

TEST(EngineScheduler, ReadInFlightIsNotCancelledByUnchecking) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1); // motor current
    rig.Engine.Check_QueryClick(true, false, true, true);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 123));
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "12.3");
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.Engine.PollIndex, 2);
}

} // namespace
} // namespace quorvel::testing
