// Flow control and byte filtering that another program left on a COM port: off while the link
// has the port, given back at close. Wine keeps CTS flow control and XON/XOFF on its terminals,
// so those are tried for real; the fields it forgets are kept by a driver double standing in
// for GetCommState/SetCommState in this executable's import table. And a write that times out.
#include "DriveRegisters.h"
#include "ImportHook.h"
#include "LinkFixture.h"

#include <functional>
#include <ostream>
#include <tuple>
#include <vector>

namespace quorvel::win32test {
namespace {

// Leaves the port as another program would: changed through a handle of the test's own.
void LeaveOnPort(const std::string& name, const std::function<void(DCB&)>& change) {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DCB state{};
    state.DCBlength = sizeof state;
    EXPECT_TRUE(GetCommState(handle, &state));
    change(state);
    EXPECT_TRUE(SetCommState(handle, &state));
    CloseHandle(handle);
}

void ClearFlowControl(DCB& s) {
    s.fOutxCtsFlow = FALSE;
    s.fOutX = FALSE;
    s.fInX = FALSE;
}

// Everything but the line settings and the fields the link clears.
auto KeptFields(const DCB& s) {
    return std::make_tuple(s.fBinary, s.fParity, s.fDtrControl, s.fTXContinueOnXoff, s.fErrorChar,
                           s.fRtsControl, s.XonLim, s.XoffLim, s.XonChar, s.XoffChar, s.ErrorChar,
                           s.EofChar, s.EvtChar);
}

// A serial driver that keeps every flag of the DCB, as Windows' drivers do.
struct TFullDriver {
    static inline BOOL(WINAPI* RealGet)(HANDLE, LPDCB) = nullptr;
    static inline BOOL(WINAPI* RealSet)(HANDLE, LPDCB) = nullptr;
    static inline DCB Flags{};              // the flags as last set
    static inline bool KnowsFlags = false;  // nothing set yet: the terminal's own
    static inline std::vector<DCB> Applied; // every SetCommState, in order

    static void CopyFlags(const DCB& from, DCB& to) {
        to.fBinary = from.fBinary;
        to.fParity = from.fParity;
        to.fOutxCtsFlow = from.fOutxCtsFlow;
        to.fOutxDsrFlow = from.fOutxDsrFlow;
        to.fDtrControl = from.fDtrControl;
        to.fDsrSensitivity = from.fDsrSensitivity;
        to.fTXContinueOnXoff = from.fTXContinueOnXoff;
        to.fOutX = from.fOutX;
        to.fInX = from.fInX;
        to.fErrorChar = from.fErrorChar;
        to.fNull = from.fNull;
        to.fRtsControl = from.fRtsControl;
        to.fAbortOnError = from.fAbortOnError;
        to.ErrorChar = from.ErrorChar;
    }
    static BOOL WINAPI Get(HANDLE handle, LPDCB state) {
        if (!RealGet(handle, state)) {
            return FALSE;
        }
        if (KnowsFlags) {
            CopyFlags(Flags, *state);
        }
        return TRUE;
    }
    static BOOL WINAPI Set(HANDLE handle, LPDCB state) {
        Applied.push_back(*state);
        DCB forWine = *state;
        if (forWine.fRtsControl == RTS_CONTROL_TOGGLE) {
            forWine.fRtsControl = RTS_CONTROL_ENABLE; // Wine's terminals have no toggle mode
        }
        if (!RealSet(handle, &forWine)) {
            return FALSE;
        }
        CopyFlags(*state, Flags);
        KnowsFlags = true;
        return TRUE;
    }
};

struct TFilterCase {
    const char* Name;
    void (*TurnOn)(DCB&);
    bool (*IsOn)(const DCB&);
};

void PrintTo(const TFilterCase& c, std::ostream* out) {
    *out << c.Name;
}

class WineComFilters : public TLinkFixture, public ::testing::WithParamInterface<TFilterCase> {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        TFullDriver::RealGet = reinterpret_cast<BOOL(WINAPI*)(HANDLE, LPDCB)>(GetHook.Original());
        TFullDriver::RealSet = reinterpret_cast<BOOL(WINAPI*)(HANDLE, LPDCB)>(SetHook.Original());
        ASSERT_NE(TFullDriver::RealGet, nullptr) << "GetCommState is not imported";
        ASSERT_NE(TFullDriver::RealSet, nullptr) << "SetCommState is not imported";
        TFullDriver::KnowsFlags = false;
        TFullDriver::Applied.clear();
    }
    void TearDown() override {
        if (!ComPort.empty()) {
            LeaveOnPort(ComPort, ClearFlowControl); // what Wine's terminal keeps
        }
    }

    TImportHook GetHook{"kernel32.dll", "GetCommState", reinterpret_cast<void*>(&TFullDriver::Get)};
    TImportHook SetHook{"kernel32.dll", "SetCommState", reinterpret_cast<void*>(&TFullDriver::Set)};
};

TEST_P(WineComFilters, OffWhileOpenAndGivenBackAtClose) {
    const TFilterCase& c = GetParam();
    LeaveOnPort(ComPort, c.TurnOn);
    const std::optional<TRawComView> left = ReadRawComView(ComPort);
    ASSERT_TRUE(left);
    ASSERT_TRUE(c.IsOn(left->State));
    const std::size_t before = TFullDriver::Applied.size();
    auto link = MakeLink(false);

    ASSERT_TRUE(link->Configure(ModeRTU, 19200));

    ASSERT_GT(TFullDriver::Applied.size(), before);
    const DCB opened = TFullDriver::Applied[before];
    EXPECT_FALSE(c.IsOn(opened));
    EXPECT_EQ(KeptFields(opened), KeptFields(left->State));
    EXPECT_EQ(opened.BaudRate, 19200u);
    EXPECT_EQ(opened.ByteSize, 8);
    const std::optional<TRawComView> live = ReadRawComView(ComPort);
    ASSERT_TRUE(live);
    EXPECT_FALSE(c.IsOn(live->State));

    ASSERT_TRUE(link->ClosePort());
    const std::optional<TRawComView> after = ReadRawComView(ComPort);
    ASSERT_TRUE(after);
    EXPECT_TRUE(c.IsOn(after->State));
    EXPECT_EQ(KeptFields(after->State), KeptFields(left->State));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, WineComFilters,
    ::testing::Values(TFilterCase{"CtsFlow", [](DCB& s) { s.fOutxCtsFlow = TRUE; },
                                  [](const DCB& s) { return s.fOutxCtsFlow != 0; }},
                      TFilterCase{"DsrFlow", [](DCB& s) { s.fOutxDsrFlow = TRUE; },
                                  [](const DCB& s) { return s.fOutxDsrFlow != 0; }},
                      TFilterCase{"DsrSensitivity", [](DCB& s) { s.fDsrSensitivity = TRUE; },
                                  [](const DCB& s) { return s.fDsrSensitivity != 0; }},
                      TFilterCase{"XonXoffOut", [](DCB& s) { s.fOutX = TRUE; },
                                  [](const DCB& s) { return s.fOutX != 0; }},
                      TFilterCase{"XonXoffIn", [](DCB& s) { s.fInX = TRUE; },
                                  [](const DCB& s) { return s.fInX != 0; }},
                      TFilterCase{"NullStripping", [](DCB& s) { s.fNull = TRUE; },
                                  [](const DCB& s) { return s.fNull != 0; }},
                      TFilterCase{"AbortOnError", [](DCB& s) { s.fAbortOnError = TRUE; },
                                  [](const DCB& s) { return s.fAbortOnError != 0; }}),
    [](const auto& info) { return std::string(info.param.Name); });

// RTS and DTR may power or switch an RS-485 converter; the error character only replaces a byte
// that is bad anyway. The link leaves them as it found them.
TEST_F(WineComFilters, SignalsAndErrorCharacterStayAsFound) {
    for (const DWORD rts : {DWORD{RTS_CONTROL_HANDSHAKE}, DWORD{RTS_CONTROL_TOGGLE}}) {
        LeaveOnPort(ComPort, [&](DCB& s) {
            s.fRtsControl = rts;
            s.fDtrControl = DTR_CONTROL_HANDSHAKE;
            s.fErrorChar = TRUE;
            s.ErrorChar = '?';
            s.fTXContinueOnXoff = TRUE;
        });
        const std::optional<TRawComView> left = ReadRawComView(ComPort);
        ASSERT_TRUE(left);
        const std::size_t before = TFullDriver::Applied.size();
        auto link = MakeLink(false);

        ASSERT_TRUE(link->Configure(ModeRTU, 19200));

        ASSERT_GT(TFullDriver::Applied.size(), before);
        EXPECT_EQ(KeptFields(TFullDriver::Applied[before]), KeptFields(left->State)) << rts;
        EXPECT_TRUE(link->ClosePort());
    }
}

// For real: Wine's terminal with XON/XOFF on eats 0x11 and 0x13 bytes, and the value 0x1311
// puts both into the drive's echo and into the reply that reads it back.
using WineComXonXoff = TLinkFixture;

TEST_F(WineComXonXoff, LeftOnItDoesNotEatBytesOfAnRtuExchange) {
    LeaveOnPort(ComPort, [](DCB& s) {
        s.fOutxCtsFlow = TRUE;
        s.fOutX = TRUE;
        s.fInX = TRUE;
    });
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    ASSERT_EQ(ReadExchange(*link, RegControlRefSignal), Good);
    const std::uint16_t previous = Words[0];
    constexpr std::uint16_t FlowBytes = 0x1311;

    ClearReceived();
    ByteString write = BuildWriteRequest(Settings, RegControlRefSignal, FlowBytes);
    ASSERT_TRUE(link->WriteFrame(write.data(), static_cast<std::uint16_t>(write.size())));
    EXPECT_EQ(AwaitReply(write), Good);
    EXPECT_EQ(ReadExchange(*link, RegControlRefSignal), Good);
    EXPECT_EQ(Words[0], FlowBytes);

    ClearReceived();
    write = BuildWriteRequest(Settings, RegControlRefSignal, previous);
    ASSERT_TRUE(link->WriteFrame(write.data(), static_cast<std::uint16_t>(write.size())));
    EXPECT_EQ(AwaitReply(write), Good);
    ASSERT_TRUE(link->ClosePort());
    const std::optional<TRawComView> after = ReadRawComView(ComPort);
    LeaveOnPort(ComPort, ClearFlowControl);
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->State.fOutxCtsFlow && after->State.fOutX && after->State.fInX);
}

// Writes that time out with nothing sent, as a line held by flow control does, yet succeed.
struct TStalledWrites {
    static inline BOOL(WINAPI* RealWrite)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = nullptr;
    static inline bool Stalled = false;

    static BOOL WINAPI Write(HANDLE handle, LPCVOID bytes, DWORD count, LPDWORD written,
                             LPOVERLAPPED overlapped) {
        if (!Stalled) {
            return RealWrite(handle, bytes, count, written, overlapped);
        }
        *written = 0;
        return TRUE;
    }
};

class WineComShortWrite : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        TStalledWrites::RealWrite =
            reinterpret_cast<decltype(TStalledWrites::RealWrite)>(WriteHook.Original());
        ASSERT_NE(TStalledWrites::RealWrite, nullptr) << "WriteFile is not imported";
    }
    void TearDown() override { TStalledWrites::Stalled = false; }

    // What stderr got while frames went out stalled.
    std::string StalledWrites(TPortThread& link, int frames) {
        const ByteString request = BuildReadRequest(Settings, RegOutputFrequency);
        TStalledWrites::Stalled = true;
        ::testing::internal::CaptureStderr();
        for (int i = 0; i < frames; ++i) {
            EXPECT_TRUE(link.WriteFrame(request.data(), static_cast<std::uint16_t>(request.size())))
                << "a timed-out write still counts as sent";
        }
        const std::string said = ::testing::internal::GetCapturedStderr();
        TStalledWrites::Stalled = false;
        return said;
    }

    static std::size_t Lines(const std::string& text) {
        return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    }

    TImportHook WriteHook{"kernel32.dll", "WriteFile",
                          reinterpret_cast<void*>(&TStalledWrites::Write)};
};

TEST_F(WineComShortWrite, SaidOnStderrOncePerOpen) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));

    const std::string first = StalledWrites(*link, 3);
    EXPECT_EQ(Lines(first), 1u) << first;
    EXPECT_NE(first.find("0 of 8 bytes"), std::string::npos) << first;
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good); // the link itself carries on
    EXPECT_EQ(StalledWrites(*link, 1), "");

    ASSERT_TRUE(link->ClosePort());
    ASSERT_TRUE(link->OpenPort());
    EXPECT_EQ(Lines(StalledWrites(*link, 2)), 1u);
    EXPECT_TRUE(link->ClosePort());
}

TEST_F(WineComShortWrite, WholeWritesSayNothing) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    ::testing::internal::CaptureStderr();

    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
    EXPECT_EQ(ReadExchange(*link, RegMotorCurrent), Good);

    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(link->ClosePort());
}

} // namespace
} // namespace quorvel::win32test
