// Under Wine through the real Win32 calls: COM names above COM9, the 1 ms timer resolution held
// while the link is open, the serial device map read again at every list, and the link that
// reopens its COM port by itself after the queue query kept failing.
#include "DriveRegisters.h"
#include "ImportHook.h"
#include "LinkFixture.h"
#include "TimerResolution.h"
#include "WineLane.h"

#include <timeapi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace quorvel::win32test {
namespace {

bool Lists(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// QUORVEL_WINE_HIGH_COM: a port above COM9 mapped to the lane's simulator.
class WineHighCom : public TLinkFixture {
  protected:
    void SetUp() override {
        const char* high = std::getenv("QUORVEL_WINE_HIGH_COM");
        if (high == nullptr || *high == '\0') {
            GTEST_SKIP() << "QUORVEL_WINE_HIGH_COM is not set: run through scripts/wine-tests.sh";
        }
        TLinkFixture::SetUp();
        ComPort = high;
        Settings.Port = ComPort;
    }
};

TEST_F(WineHighCom, OpensThroughTheDeviceNamespaceAndKeepsItsName) {
    // The bare name is no device name to the system: this is what the link must not rely on.
    HANDLE bare = CreateFileA(ComPort.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(bare, INVALID_HANDLE_VALUE);
    if (bare != INVALID_HANDLE_VALUE) {
        CloseHandle(bare);
    }
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
    EXPECT_EQ(Settings.Port, ComPort);
    EXPECT_TRUE(Lists(link->GetPortList(), ComPort));
    EXPECT_TRUE(link->ClosePort());
}

// What the link asked of the system's timer: the winmm calls themselves, caught in this
// executable's import table, as Wine's timeBeginPeriod changes nothing that could be read back.
struct TFineTimerCalls {
    static inline std::atomic<int> Begun{0}; // timeBeginPeriod(1) that succeeded
    static inline std::atomic<int> Ended{0}; // timeEndPeriod(1) that succeeded
    static inline UINT(WINAPI* Begin)(UINT) = nullptr;
    static inline UINT(WINAPI* End)(UINT) = nullptr;

    static UINT WINAPI CountBegin(UINT period) {
        const UINT result = Begin(period);
        Begun += period == 1 && result == TIMERR_NOERROR ? 1 : 0;
        return result;
    }
    static UINT WINAPI CountEnd(UINT period) {
        const UINT result = End(period);
        Ended += period == 1 && result == TIMERR_NOERROR ? 1 : 0;
        return result;
    }
    static int Held() { return Begun - Ended; }
};

class WineFineTimer : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        TFineTimerCalls::Begin = reinterpret_cast<UINT(WINAPI*)(UINT)>(BeginHook.Original());
        TFineTimerCalls::End = reinterpret_cast<UINT(WINAPI*)(UINT)>(EndHook.Original());
        ASSERT_NE(TFineTimerCalls::Begin, nullptr) << "timeBeginPeriod is not imported";
        ASSERT_NE(TFineTimerCalls::End, nullptr) << "timeEndPeriod is not imported";
    }

    TImportHook BeginHook{"winmm.dll", "timeBeginPeriod",
                          reinterpret_cast<void*>(&TFineTimerCalls::CountBegin)};
    TImportHook EndHook{"winmm.dll", "timeEndPeriod",
                        reinterpret_cast<void*>(&TFineTimerCalls::CountEnd)};
};

TEST_F(WineFineTimer, HeldWhileTheLinkIsOpenAndGivenBackAtClose) {
    const int before = FineTimerRequests();
    auto link = MakeLink(false);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    EXPECT_EQ(TFineTimerCalls::Held(), 1);
    EXPECT_EQ(FineTimerRequests(), before + 1);
    link->SetBaudRate(38400); // close and reopen: still one request
    EXPECT_EQ(TFineTimerCalls::Held(), 1);
    EXPECT_TRUE(link->ClosePort());
    EXPECT_EQ(TFineTimerCalls::Held(), 0);
    EXPECT_EQ(FineTimerRequests(), before);
    Settings.Port = "COM77";
    EXPECT_FALSE(link->Configure(ModeRTU, 19200));
    EXPECT_EQ(TFineTimerCalls::Held(), 0);
    EXPECT_EQ(FineTimerRequests(), before);
}

// The map is volatile and Wine grants the test write access: a port "plugged in" while the
// link lives is listed at the next read, and gone after it is "pulled".
using WineSerialMapRefresh = TLinkFixture;

TEST_F(WineSerialMapRefresh, EveryListReadsTheMapAgain) {
    TPortEnvironment environment;
    environment.D2xxLibrary = "quorvel_no_such_ftd2xx.dll";
    auto link = MakeLink(false, std::move(environment));
    const char* valueName = "\\Device\\QuorvelLatePlug";
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_SET_VALUE,
                            &key),
              ERROR_SUCCESS);
    EXPECT_FALSE(Lists(link->GetPortList(), "COM47"));
    const char port[] = "COM47";
    ASSERT_EQ(
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(port), sizeof port),
        ERROR_SUCCESS);
    EXPECT_TRUE(Lists(link->GetPortList(), "COM47"));
    RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    EXPECT_FALSE(Lists(link->GetPortList(), "COM47"));
}

class WineComRecovery : public TLinkFixture {
  protected:
    std::unique_ptr<TPortThread> OpenWatchedLink() {
        auto link = MakeLink(true);
        link->OnLinkLost = [this](bool lost) { Reports.push_back(lost); };
        EXPECT_TRUE(link->Configure(ModeRTU, 19200));
        return link;
    }
    std::vector<bool> Reports;
};

TEST_F(WineComRecovery, SingleFailedQueueQueryDoesNotEndReception) {
    auto link = OpenWatchedLink();
    Spy.FailQueries = 1;
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
    EXPECT_EQ(Spy.FailQueries.load(), 0);
    EXPECT_EQ(Spy.Opens.load(), 1) << "the port was reopened";
    EXPECT_TRUE(Reports.empty());
}

TEST_F(WineComRecovery, KeptFailingQueriesReopenThePortByItself) {
    auto link = OpenWatchedLink();
    Spy.FailQueries = QueueFailuresBeforeHangup;
    ASSERT_TRUE(Pump.PumpUntil([&] { return link->IsLinkLost(); }, ReplyLimit));
    EXPECT_TRUE(link->IsOpen());
    ASSERT_TRUE(Pump.PumpUntil([&] { return !link->IsLinkLost(); }, ReplyLimit));
    EXPECT_EQ(Spy.Opens.load(), 2);
    EXPECT_EQ(Reports, (std::vector<bool>{true, false}));
    ASSERT_TRUE(Spy.FirstSetState);
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
    EXPECT_TRUE(link->ClosePort());
    EXPECT_FALSE(link->IsOpen());
}

} // namespace
} // namespace quorvel::win32test
