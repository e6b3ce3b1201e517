// Line settings on a COM port through the real Win32 calls (Wine maps the port to a pty, which
// keeps the baud rate but refuses parity and 7 data bits, so only the rate is read back), and
// the port's own state given back at close.
#include "DriveRegisters.h"
#include "LinkFixture.h"

#include <ostream>
#include <tuple>

namespace quorvel::win32test {
namespace {

// A baud rate none of the cases applies, left on the port before each open.
constexpr DWORD ForeignBaud = 4800;

// Timeouts the port had before the link opened it; the link's own are 15/1/150/1/150.
constexpr TCommTimeouts ForeignTimeouts{7, 2, 33, 3, 44};

auto DcbFields(const DCB& s) {
    return std::make_tuple(s.BaudRate, s.ByteSize, s.Parity, s.StopBits, s.fBinary, s.fParity,
                           s.fOutxCtsFlow, s.fOutxDsrFlow, s.fDtrControl, s.fDsrSensitivity,
                           s.fTXContinueOnXoff, s.fOutX, s.fInX, s.fRtsControl, s.fAbortOnError,
                           s.XonLim, s.XoffLim, s.XonChar, s.XoffChar, s.EofChar, s.EvtChar);
}

auto TimeoutFields(const COMMTIMEOUTS& t) {
    return std::make_tuple(t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                           t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                           t.WriteTotalTimeoutConstant);
}

struct LineCase {
    const char* Name;
    std::uint8_t Mode;
    std::int32_t Baud;
    std::uint8_t DataBits;
};

// Test names in ctest carry the case name, not the bytes of the case.
void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.Name;
}

class WineComLine : public TLinkFixture, public ::testing::WithParamInterface<LineCase> {};

TEST_P(WineComLine, OpenAppliesConfiguredRateOverThePortsState) {
    const LineCase& c = GetParam();
    ASSERT_TRUE(SetRawBaudRate(ComPort, ForeignBaud));
    auto link = MakeLink(true);

    ASSERT_TRUE(link->Configure(c.Mode, c.Baud));

    const std::optional<TRawComView> live = ReadRawComView(ComPort);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->State.BaudRate, static_cast<DWORD>(c.Baud));
    // What the link asked the driver for, whatever the pty kept of it.
    ASSERT_TRUE(Spy.FirstSetState);
    const TCommState asked = *Spy.FirstSetState;
    EXPECT_EQ(asked.BaudRate, static_cast<std::uint32_t>(c.Baud));
    EXPECT_EQ(asked.ByteSize, c.DataBits);
    EXPECT_EQ(asked.Parity, ParityEven);
    EXPECT_EQ(asked.StopBits, OneStopBit);
    EXPECT_TRUE(link->ClosePort());
}

INSTANTIATE_TEST_SUITE_P(Modes, WineComLine,
                         ::testing::Values(LineCase{"AsciiAt9600", ModeASCII, 9600, 7},
                                           LineCase{"RtuAt19200", ModeRTU, 19200, 8},
                                           LineCase{"RtuAt38400", ModeRTU, 38400, 8}),
                         [](const auto& info) { return std::string(info.param.Name); });

using WineComRestore = TLinkFixture;

TEST_F(WineComRestore, CloseGivesThePortBackItsStateAndTimeouts) {
    ASSERT_TRUE(SetRawBaudRate(ComPort, ForeignBaud));
    const std::optional<TRawComView> before = ReadRawComView(ComPort);
    ASSERT_TRUE(before);
    PrimeTimeouts = ForeignTimeouts;
    auto link = MakeLink(true);

    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    ASSERT_TRUE(link->ClosePort());

    // The handle's own timeouts just before release: Wine keeps timeouts per handle.
    ASSERT_TRUE(Spy.TimeoutsAtClose);
    EXPECT_EQ(*Spy.TimeoutsAtClose, ForeignTimeouts);
    const std::optional<TRawComView> after = ReadRawComView(ComPort);
    ASSERT_TRUE(after);
    EXPECT_EQ(DcbFields(after->State), DcbFields(before->State));
    EXPECT_EQ(TimeoutFields(after->Timeouts), TimeoutFields(before->Timeouts));
    EXPECT_FALSE(link->IsOpen());
}

TEST_F(WineComRestore, ReopenAfterCloseAppliesTheSameConfiguration) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 38400));
    ASSERT_TRUE(link->ClosePort());
    ASSERT_TRUE(SetRawBaudRate(ComPort, ForeignBaud));

    ASSERT_TRUE(link->OpenPort());

    const std::optional<TRawComView> live = ReadRawComView(ComPort);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->State.BaudRate, 38400u);
}

TEST_F(WineComRestore, BaudChangeOnOpenLinkReopensAtTheNewRate) {
    auto link = MakeLink(true);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));

    link->SetBaudRate(57600);

    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(Spy.Closes.load(), 1);
    const std::optional<TRawComView> live = ReadRawComView(ComPort);
    ASSERT_TRUE(live);
    EXPECT_EQ(live->State.BaudRate, 57600u);
    Settings.Mode = ModeRTU;
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
}

TEST_F(WineComRestore, PortNamesTheSystemDoesNotKnowStayClosed) {
    for (const char* name : {"COM77", "usb1", ""}) {
        Settings.Port = name;
        auto link = MakeLink(false);
        EXPECT_FALSE(link->Configure(ModeRTU, 19200)) << "'" << name << "'";
        EXPECT_FALSE(link->IsOpen()) << "'" << name << "'";
    }
}

// An answer left in the driver from before the open is no answer to this link's requests.
TEST_F(WineComRestore, InputFromBeforeTheOpenNeverArrives) {
    const ByteString request = BuildReadRequest(Settings, RegOutputFrequency);
    ASSERT_TRUE(LeaveAnswerPending(ComPort, std::string(request.begin(), request.end())));
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    Pump.PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(Received.empty()) << Received.size() << " bytes from before the open";
    EXPECT_EQ(ReadExchange(*link, RegMotorCurrent), Good);
}

} // namespace
} // namespace quorvel::win32test
