// Modbus exchanges with kelmar-sim over a COM port through the real Win32 reads and writes:
// requests framed by the core, replies gathered from OnReceive on the main thread and judged.
#include "DriveRegisters.h"
#include "LinkFixture.h"
#include "WineLane.h"

#include <ostream>

namespace quorvel::win32test {
namespace {

struct ExchangeCase {
    const char* Name;
    std::uint8_t Mode;
    std::uint16_t Register;
};

// Test names in ctest carry the case name, not the bytes of the case.
void PrintTo(const ExchangeCase& c, std::ostream* out) {
    *out << c.Name;
}

const auto ExchangeCases =
    ::testing::Values(ExchangeCase{"RtuFrequency", ModeRTU, RegOutputFrequency},
                      ExchangeCase{"RtuVirtualInputs", ModeRTU, RegVirtualInputs},
                      ExchangeCase{"AsciiCurrent", ModeASCII, RegMotorCurrent},
                      ExchangeCase{"AsciiReference", ModeASCII, RegControlRefSignal});

std::string CaseName(const ::testing::TestParamInfo<ExchangeCase>& info) {
    return info.param.Name;
}

class WineComExchange : public TLinkFixture, public ::testing::WithParamInterface<ExchangeCase> {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        Settings.Mode = GetParam().Mode;
    }
};

TEST_P(WineComExchange, ReplyArrivesWholeOnTheMainThread) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(GetParam().Mode, 19200));

    EXPECT_EQ(ReadExchange(*link, GetParam().Register), Good);

    EXPECT_EQ(Received.size(), ReadReplyLength(GetParam().Mode));
    EXPECT_FALSE(ReceivedOffMainThread);
}

// Wine has been seen to report more bytes waiting than then arrive; a read that brings fewer
// must hand over only what it brought, not the rest of a buffer sized to the report.
TEST_P(WineComExchange, OverstatedQueueCountDeliversOnlyBytesRead) {
    Spy.Overstatement = 100;
    auto link = MakeLink(true);
    ASSERT_TRUE(link->Configure(GetParam().Mode, 19200));

    EXPECT_EQ(ReadExchange(*link, GetParam().Register), Good);

    EXPECT_EQ(Received.size(), ReadReplyLength(GetParam().Mode));
    EXPECT_EQ(Spy.BytesRead.load(), Received.size());
    EXPECT_GE(Spy.ShortReads.load(), 1u);
}

TEST_P(WineComExchange, RequestWrittenFromInsideOnReceiveIsAnswered) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(GetParam().Mode, 19200));
    const ByteString first = BuildReadRequest(Settings, GetParam().Register);
    const ByteString second = BuildReadRequest(Settings, RegOutputFrequency);
    ByteString firstReply;
    bool secondWritten = false;
    link->OnReceive = [&](ByteString chunk) {
        Received.insert(Received.end(), chunk.begin(), chunk.end());
        if (secondWritten || Received.size() < 5 ||
            CheckReply(Settings, Received, first, Words) != Good) {
            return;
        }
        // As the reply handler does: the next frame goes out from inside the delivery.
        firstReply.swap(Received);
        Received.clear();
        secondWritten = link->WriteFrame(second.data(), static_cast<std::uint16_t>(second.size()));
    };

    ASSERT_TRUE(link->WriteFrame(first.data(), static_cast<std::uint16_t>(first.size())));
    ASSERT_TRUE(Pump.PumpUntil([&] { return secondWritten; }, ReplyLimit));
    EXPECT_EQ(AwaitReply(second), Good);

    EXPECT_EQ(firstReply.size(), ReadReplyLength(GetParam().Mode));
    EXPECT_EQ(Received.size(), ReadReplyLength(GetParam().Mode));
}

INSTANTIATE_TEST_SUITE_P(Registers, WineComExchange, ExchangeCases, CaseName);

// A second simulator sends its replies in small pieces with pauses between them.
class WineSplitReply : public WineComExchange {
  protected:
    void SetUp() override {
        WineComExchange::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const std::optional<std::string> splitPort = SplitComPortUnderTest();
        if (!splitPort) {
            GTEST_SKIP() << "QUORVEL_WINE_SPLIT_COM is not set";
        }
        Settings.Port = *splitPort;
        ASSERT_TRUE(DiscardPendingBytes(Settings.Port)) << Settings.Port << " cannot be opened";
    }
};

TEST_P(WineSplitReply, PiecesAreGatheredInOrderIntoOneReply) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(GetParam().Mode, 19200));

    EXPECT_EQ(ReadExchange(*link, GetParam().Register), Good);

    EXPECT_EQ(Received.size(), ReadReplyLength(GetParam().Mode));
    EXPECT_GE(ChunkSizes.size(), 2u);
    EXPECT_FALSE(ReceivedOffMainThread);
}

INSTANTIATE_TEST_SUITE_P(Registers, WineSplitReply, ExchangeCases, CaseName);

} // namespace
} // namespace quorvel::win32test
