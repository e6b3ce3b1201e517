// Reply handling: gathering chunks, verdicts, counts, log lines, retransmission and display.
#include "DriveRegisters.h"
#include "EngineFakes.h"
#include "ReplyFrames.h"

#include <gtest/gtest.h>

namespace quorvel::testing {
namespace {

// Opens the rig and sends reads until the one for PollList[index] is out.
void SendReadOf(EngineRig& rig, int index, std::uint8_t mode) {
    for (int guard = 0; guard < 8; ++guard) {
        ASSERT_GE(rig.TickUntilSent(), 1);
        if (rig.Engine.PollIndex == index) {
            return;
        }
        rig.Engine.HandleReply(ReadReply(mode, rig.Settings.Address, 0));
    }
    FAIL() << "read " << index << " never chosen";
}

TEST(EngineReply, TracedAsciiReplyInTwoChunksShowsCurrentWithLocaleSeparator) {
    EngineRig rig(ModeASCII);
    rig.Engine.DecimalSeparator = ",";
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString reply = BytesOf(":010302007B7F\r\n");
    rig.Engine.HandleReply(ByteString(reply.begin(), reply.begin() + 9));
    EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply);
    EXPECT_TRUE(rig.View.ReceivedLines.empty());
    rig.Engine.HandleReply(ByteString(reply.begin() + 9, reply.end()));
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "12,3");
    EXPECT_EQ(rig.Engine.ResponseWords[0], 0x007B);
    ASSERT_EQ(rig.View.ReceivedLines.size(), 1U);
    EXPECT_EQ(rig.View.ReceivedLines[0], FrameDump(reply));
    EXPECT_TRUE(rig.Engine.ExchangeState.ReceiveBuffer.empty());
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
}

TEST(EngineReply, RtuReadInChunksOfTwoAndFiveIsJudgedOnceAndLoggedAsOneLine) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString reply = ReadReply(ModeRTU, 1, 0x0015); // holds a zero byte
    rig.Engine.HandleReply(ByteString(reply.begin(), reply.begin() + 2));
    EXPECT_EQ(rig.Engine.ExchangeState.ReceiveBuffer.size(), 2U);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 0);
    rig.Engine.HandleReply(ByteString(reply.begin() + 2, reply.end()));
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    ASSERT_EQ(rig.View.ReceivedLines.size(), 1U);
    EXPECT_EQ(rig.View.ReceivedLines[0], FrameDump(reply));
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "2.1");
}

TEST(EngineReply, RtuExceptionIsJudgedAtItsFifthByte) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString reply = ExceptionReply(ModeRTU, 1, 3, 2);
    ASSERT_EQ(reply.size(), 5U);
    for (std::size_t i = 0; i < 4; ++i) {
        rig.Engine.HandleReply({reply[i]});
    }
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 0);
    rig.Engine.HandleReply({reply[4]});
    EXPECT_EQ(rig.Engine.ExchangeState.ExceptionCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 0);
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
    EXPECT_EQ(rig.Port.Writes.size(), 1U) << "an exception is not answered by a retransmission";
}

// Bytes from another slave that CheckReply would judge bad at once: under five bytes they must
// not be judged at all, only held.
TEST(EngineReply, FewerThanFiveBytesAreHeldWithoutAVerdict) {
    for (const std::uint8_t mode : {ModeRTU, ModeASCII}) {
        EngineRig rig(mode);
        ASSERT_EQ(rig.TickUntilSent(), 1);
        const ByteString foreign = mode == ModeRTU ? ByteString{0x02, 0x03} : BytesOf(":02");
        rig.Engine.HandleReply(foreign);
        rig.Engine.HandleReply({0x00});
        const TExchangeState& s = rig.Engine.ExchangeState;
        EXPECT_EQ(s.ReceiveBuffer.size(), foreign.size() + 1) << int{mode};
        EXPECT_EQ(s.ReceivedCount, 0) << int{mode};
        EXPECT_EQ(s.BadFrameCount, 0) << int{mode};
        EXPECT_EQ(s.SentCount, 1) << int{mode};
        EXPECT_EQ(rig.Port.Writes.size(), 1U) << int{mode} << ": no retransmission";
        EXPECT_TRUE(rig.View.ReceivedLines.empty()) << int{mode};
        EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply) << int{mode};
    }
}

struct DisplayCase {
    const char* name;
    int index;
    std::uint16_t word;
    ValueBox box;
    const char* text;
};

class EngineReplyDisplay : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(EngineReplyDisplay, GoodReadShowsItsWordInTheBoxOfTheRead) {
    const DisplayCase& c = GetParam();
    for (const std::uint8_t mode : {ModeASCII, ModeRTU}) {
        EngineRig rig(mode);
        SendReadOf(rig, c.index, mode);
        rig.Engine.HandleReply(ReadReply(mode, 1, c.word));
        EXPECT_EQ(rig.View.Value(c.box), c.text) << "mode " << int(mode);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineReplyDisplay,
    ::testing::Values(DisplayCase{"FrequencyZeroIsN", 0, 0, ValueBox::Frequency, "N"},
                      DisplayCase{"Frequency50Hz", 0, 5000, ValueBox::Frequency, "50.00"},
                      DisplayCase{"FrequencyUpperScale", 0, 32768, ValueBox::Frequency, "327.7"},
                      DisplayCase{"CurrentZero", 1, 0, ValueBox::MotorCurrent, "0.0"},
                      DisplayCase{"CurrentTenths", 1, 123, ValueBox::MotorCurrent, "12.3"},
                      DisplayCase{"ReferenceTop", 2, 65535, ValueBox::ControlRefSignal, "3604.4"},
                      DisplayCase{"ReferenceZeroIsN", 2, 0, ValueBox::ControlRefSignal, "N"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineReply, FrequencyIsPlottedOnlyWithTheChartShown) {
    EngineRig rig(ModeRTU);
    rig.Engine.Check_QueryClick(true, false, false, false);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 0));
    EXPECT_TRUE(rig.View.ChartSamples.empty());
    rig.View.Diagram = true;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 0));
    ASSERT_EQ(rig.View.ChartSamples.size(), 1U);
    EXPECT_EQ(rig.View.ChartSamples[0], "N") << "the sample is taken after the box is set";
}

TEST(EngineReply, OtherReadsAreNotPlotted) {
    EngineRig rig(ModeRTU);
    rig.View.Diagram = true;
    SendReadOf(rig, 3, ModeRTU);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 9));
    EXPECT_TRUE(rig.View.ChartSamples.empty());
}

TEST(EngineReply, VirtualInputsShowMarksAndSyncButtonsOnlyOnce) {
    EngineRig rig(ModeASCII);
    SendReadOf(rig, 3, ModeASCII);
    rig.Engine.HandleReply(ReadReply(ModeASCII, 1, 0x0015));
    EXPECT_EQ(rig.View.VirtualInputTexts, (std::array<std::string, 6>{"X", "", "X", "", "X", ""}));
    ASSERT_EQ(rig.View.ButtonSyncs.size(), 1U);
    EXPECT_EQ(rig.View.ButtonSyncs[0], 0x15);
    EXPECT_EQ(rig.Engine.WriteList[1].Active, 0) << "syncing the buttons queues no write";

    SendReadOf(rig, 3, ModeASCII);
    rig.Engine.HandleReply(ReadReply(ModeASCII, 1, 0xFFEA)); // bits 6..15 are ignored
    EXPECT_EQ(rig.View.VirtualInputTexts, (std::array<std::string, 6>{"", "X", "", "X", "", "X"}));
    EXPECT_EQ(rig.View.ButtonSyncs.size(), 1U);
}

TEST(EngineReply, ExceptionToInputsReadShowsTheStaleWordAndSyncsButtons) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1); // motor current
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 7));
    ASSERT_EQ(rig.TickUntilSent(), 1); // control reference: its word is left behind
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 0x0015));
    ASSERT_EQ(rig.TickUntilSent(), 1); // virtual inputs, refused by the drive
    ASSERT_EQ(rig.Engine.PollIndex, 3);
    rig.Engine.HandleReply(ExceptionReply(ModeRTU, 1, 3, 2));
    EXPECT_EQ(rig.View.VirtualInputTexts, (std::array<std::string, 6>{"X", "", "X", "", "X", ""}));
    ASSERT_EQ(rig.View.ButtonSyncs.size(), 1U);
    EXPECT_EQ(rig.View.ButtonSyncs[0], 0x15);
    EXPECT_EQ(rig.Engine.ExchangeState.VirtualInputsSynced, 1);
}

TEST(EngineReply, ExceptionToFrequencyReadShowsTheLastDecodedWord) {
    EngineRig rig(ModeASCII);
    SendReadOf(rig, 2, ModeASCII);
    rig.Engine.HandleReply(ReadReply(ModeASCII, 1, 5000)); // control reference 50.00
    ASSERT_EQ(rig.TickUntilSent(), 1);                     // inputs
    rig.Engine.HandleReply(ExceptionReply(ModeASCII, 1, 3, 1));
    ASSERT_EQ(rig.TickUntilSent(), 1); // frequency
    rig.Engine.HandleReply(ExceptionReply(ModeASCII, 1, 3, 1));
    EXPECT_EQ(rig.View.Value(ValueBox::Frequency), "50.00");
    EXPECT_EQ(rig.Engine.ExchangeState.ExceptionCount, 2);
}

TEST(EngineReply, WriteEchoIsCountedGoodAndChangesNoBox) {
    EngineRig rig(ModeASCII);
    rig.Engine.QueueWrite(0, 5000);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.Port.Writes.back(), BytesOf(":0106F510138859\r\n"));
    rig.Engine.HandleReply(rig.Port.Writes.back());
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 0);
    EXPECT_TRUE(rig.View.Values.empty());
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
}

TEST(EngineReply, BadReplyToWriteIsRetransmittedOncePerBadFrameWithoutRequeuing) {
    EngineRig rig(ModeRTU);
    rig.Engine.QueueWrite(1, 0x25);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    const ByteString write = rig.Port.Writes.back();
    ByteString wrongEcho = write;
    wrongEcho[5] ^= 0x01;
    for (int bad = 1; bad <= 3; ++bad) {
        rig.Engine.HandleReply(wrongEcho);
        ASSERT_EQ(rig.Port.Writes.size(), static_cast<std::size_t>(bad + 1));
        EXPECT_EQ(rig.Port.Writes.back(), write);
        EXPECT_EQ(rig.View.SentLines.back(), FrameDump(write));
        EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply);
        EXPECT_TRUE(rig.Engine.ExchangeState.ReceiveBuffer.empty());
    }
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 4);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 3);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 3);
    EXPECT_EQ(rig.Engine.WriteList[1].Active, 0);
    rig.Engine.HandleReply(write); // the right echo at last
    ASSERT_EQ(rig.TickUntilSent(), 1);
    EXPECT_EQ(rig.Engine.PendingRequest.FunctionCode, FunctionReadHolding);
}

TEST(EngineReply, LateReplyIsJudgedAgainstTheNewerRequest) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1); // motor current, never answered in time
    ASSERT_EQ(rig.TickUntilSent(), 6); // control reference
    ASSERT_EQ(rig.Engine.PollIndex, 2);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 123)); // the current's late answer
    EXPECT_EQ(rig.View.Value(ValueBox::ControlRefSignal), "1.23");
    EXPECT_EQ(rig.View.Value(ValueBox::MotorCurrent), "<unset>");
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_EQ(rig.Engine.PollPhase, ReadyToSend);
}

TEST(EngineReply, LateReadReplyWhileNoQueryIsEnabledIsCountedButShownNowhere) {
    EngineRig rig(ModeRTU);
    ASSERT_EQ(rig.TickUntilSent(), 1); // motor current, answered too late
    rig.Engine.Check_QueryClick(false, false, false, false);
    for (int tick = 0; tick < 8; ++tick) {
        rig.Tick(); // timeout, then empty choices push PollIndex past the table
    }
    ASSERT_GT(rig.Engine.PollIndex, 3);
    rig.Engine.HandleReply(ReadReply(ModeRTU, 1, 123));
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_TRUE(rig.View.Values.empty());
    EXPECT_EQ(rig.View.VirtualInputTexts[0], "<unset>");
}

TEST(EngineReply, LeftoverBytesInFrontOfTheNextReplyMakeABadFrame) {
    EngineRig rig(ModeASCII);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.HandleReply(BytesOf(":0103")); // the rest never comes
    ASSERT_EQ(rig.TickUntilSent(), 6);
    const ByteString reply = ReadReply(ModeASCII, 1, 5);
    rig.Engine.HandleReply(reply);
    ASSERT_EQ(rig.View.ReceivedLines.size(), 1U);
    EXPECT_EQ(rig.View.ReceivedLines[0], "3A 30 31 30 33 " + FrameDump(reply));
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 1);
    EXPECT_EQ(rig.Port.Writes.size(), 3U);
    EXPECT_EQ(rig.Port.Writes[2], rig.Port.Writes[1]);
}

TEST(EngineReply, MessagesButtonUpLogsNothingAndRetransmitsAsUsual) {
    EngineRig rig(ModeASCII);
    rig.View.Messages = false;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    rig.Engine.HandleReply(BytesOf(":02030200017A\r\n")); // another slave: bad frame
    rig.Engine.HandleReply(ExceptionReply(ModeASCII, 1, 3, 2));
    EXPECT_TRUE(rig.View.SentLines.empty());
    EXPECT_TRUE(rig.View.ReceivedLines.empty());
    EXPECT_EQ(rig.Port.Writes.size(), 2U);
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 2);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 2);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.ExceptionCount, 1);
}

TEST(EngineReceiveBufferCap, BufferAtTheCapIsStillAwaitedAndOneMoreByteIsABadFrame) {
    EngineRig rig(ModeASCII);
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ByteString endless(TPollEngine::ReceiveBufferCap, '0'); // a frame that never ends
    endless[0] = ':';
    endless[2] = '1';
    rig.Engine.HandleReply(endless);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceiveBuffer.size(), TPollEngine::ReceiveBufferCap);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 0);

    rig.Engine.HandleReply({'0'});
    EXPECT_TRUE(rig.Engine.ExchangeState.ReceiveBuffer.empty());
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.ReceivedCount, 1);
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 2);
    ASSERT_EQ(rig.Port.Writes.size(), 2U);
    EXPECT_EQ(rig.Port.Writes[1], rig.Port.Writes[0]);
    ASSERT_EQ(rig.View.ReceivedLines.size(), 1U);
    EXPECT_EQ(rig.View.ReceivedLines[0].size(), (TPollEngine::ReceiveBufferCap + 1) * 3);
    EXPECT_EQ(rig.Engine.PollPhase, AwaitingReply);
}

TEST(EngineReceiveBufferCap, EndlessStreamStaysBoundedAndRetransmitsPerCapWorth) {
    EngineRig rig(ModeASCII);
    rig.View.Messages = false;
    ASSERT_EQ(rig.TickUntilSent(), 1);
    ByteString chunk = BytesOf(":01"); // every chunk starts a frame that never ends
    chunk.resize(100, '7');
    std::size_t largest = 0;
    for (int i = 0; i < 100; ++i) { // 10003 bytes without a frame end
        rig.Engine.HandleReply(chunk);
        largest = std::max(largest, rig.Engine.ExchangeState.ReceiveBuffer.size());
    }
    EXPECT_LE(largest, TPollEngine::ReceiveBufferCap);
    EXPECT_EQ(rig.Engine.ExchangeState.BadFrameCount, 9); // at 1100, 2200, … bytes gathered
    EXPECT_EQ(rig.Engine.ExchangeState.SentCount, 10);
}

} // namespace
} // namespace quorvel::testing
