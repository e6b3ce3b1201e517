// The process's opt-out of Windows 11 timer throttling while the link is open. The link looks
// SetProcessInformation up at run time, so the spy stands in through this executable's import of
// GetProcAddress, and plays each kind of Windows: 11 accepts the setting, 10 refuses it, 7 lacks
// the function.
#include "DriveRegisters.h"
#include "ImportHook.h"
#include "LinkFixture.h"
#include "TimerResolution.h"

#include <cstring>
#include <vector>

namespace quorvel::win32test {
namespace {

enum class TWindows { Eleven, Ten, Seven };

struct TThrottlingCall {
    bool ThisProcess = false;
    PROCESS_INFORMATION_CLASS Class{};
    DWORD Size = 0;
    PROCESS_POWER_THROTTLING_STATE State{};
};

struct TThrottlingSpy {
    static inline FARPROC(WINAPI* RealFind)(HMODULE, LPCSTR) = nullptr;
    static inline TWindows System = TWindows::Eleven;
    static inline std::vector<TThrottlingCall> Calls;

    static BOOL WINAPI Set(HANDLE process, PROCESS_INFORMATION_CLASS what, LPVOID info,
                           DWORD size) {
        TThrottlingCall call;
        call.ThisProcess = GetProcessId(process) == GetCurrentProcessId();
        call.Class = what;
        call.Size = size;
        if (info != nullptr && size >= sizeof call.State) {
            std::memcpy(&call.State, info, sizeof call.State);
        }
        Calls.push_back(call);
        if (System == TWindows::Ten) {
            SetLastError(ERROR_INVALID_PARAMETER); // a flag this Windows does not know
            return FALSE;
        }
        return TRUE;
    }

    static FARPROC WINAPI Find(HMODULE module, LPCSTR name) {
        const bool byName = (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0;
        if (byName && std::strcmp(name, "SetProcessInformation") == 0) {
            return System == TWindows::Seven
                       ? nullptr
                       : reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&TThrottlingSpy::Set));
        }
        return RealFind(module, name);
    }
};

class WineTimerThrottling : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        TThrottlingSpy::RealFind =
            reinterpret_cast<FARPROC(WINAPI*)(HMODULE, LPCSTR)>(FindHook.Original());
        ASSERT_NE(TThrottlingSpy::RealFind, nullptr) << "GetProcAddress is not imported";
        TThrottlingSpy::Calls.clear();
    }
    void TearDown() override { TThrottlingSpy::System = TWindows::Eleven; }

    static bool Waived(const TThrottlingCall& call) {
        return call.State.ControlMask == PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION &&
               call.State.StateMask == 0;
    }
    static bool LeftToTheSystem(const TThrottlingCall& call) {
        return call.State.ControlMask == 0 && call.State.StateMask == 0;
    }

    // The calls made while a link on system opened, carried an exchange and closed; the fine
    // timer is held all the same.
    std::vector<TThrottlingCall> OpenExchangeAndClose(TWindows system) {
        TThrottlingSpy::System = system;
        const int before = FineTimerRequests();
        auto link = MakeLink(false);
        EXPECT_TRUE(link->Configure(ModeRTU, 19200));
        EXPECT_EQ(FineTimerRequests(), before + 1);
        EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
        EXPECT_TRUE(link->ClosePort());
        EXPECT_EQ(FineTimerRequests(), before);
        return TThrottlingSpy::Calls;
    }

    TImportHook FindHook{"kernel32.dll", "GetProcAddress",
                         reinterpret_cast<void*>(&TThrottlingSpy::Find)};
};

TEST_F(WineTimerThrottling, WaivedWhileTheLinkIsOpenAndLeftToTheSystemAtClose) {
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));

    const std::vector<TThrottlingCall>& calls = TThrottlingSpy::Calls;
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].ThisProcess);
    EXPECT_EQ(calls[0].Class, ProcessPowerThrottling);
    EXPECT_EQ(calls[0].Size, sizeof(PROCESS_POWER_THROTTLING_STATE));
    EXPECT_EQ(calls[0].State.Version, static_cast<ULONG>(PROCESS_POWER_THROTTLING_CURRENT_VERSION));
    EXPECT_TRUE(Waived(calls[0]));

    link->SetBaudRate(38400); // closes and reopens: waived again at the end
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(LeftToTheSystem(calls[1]));
    EXPECT_TRUE(Waived(calls[2]));

    EXPECT_TRUE(link->ClosePort());
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(calls[3].ThisProcess);
    EXPECT_EQ(calls[3].Class, ProcessPowerThrottling);
    EXPECT_TRUE(LeftToTheSystem(calls[3]));

    Settings.Port = "COM77"; // a failed open asks for nothing
    EXPECT_FALSE(link->Configure(ModeRTU, 19200));
    EXPECT_EQ(calls.size(), 4u);
}

// Windows 10 knows process power throttling but not this setting: nothing to give back.
TEST_F(WineTimerThrottling, RefusedSettingIsNotGivenBack) {
    const std::vector<TThrottlingCall> calls = OpenExchangeAndClose(TWindows::Ten);

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(Waived(calls[0]));
}

TEST_F(WineTimerThrottling, WithoutTheFunctionTheLinkWorksAsBefore) {
    EXPECT_TRUE(OpenExchangeAndClose(TWindows::Seven).empty());
}

} // namespace
} // namespace quorvel::win32test
