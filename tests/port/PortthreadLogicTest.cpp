// TPortThread's configuration and open/close logic against a scripted device: line settings per
// mode, the port's own state given back at close, failures, and what the worker reads.
#include "Portthread.h"

#include "FakeSerialDevice.h"
#include "TestMainThread.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

class PortLogic : public ::testing::Test {
  protected:
    PortLogic() {
        Settings.Port = "COM2";
        TPortEnvironment environment;
        environment.OpenComPort = OpensFakePort(Port);
        Link = std::make_unique<TPortThread>(Settings, Main.Calls(), environment);
        Link->OnReceive = [this](ByteString chunk) { Chunks.push_back(std::move(chunk)); };
    }

    TCommState Applied() {
        std::lock_guard<std::mutex> lock(Port->Lock);
        return Port->StatesSet.at(0);
    }

    TTestMainThread Main;
    TSettings Settings;
    std::vector<std::string> NamesOpened() {
        std::lock_guard<std::mutex> lock(Port->Lock);
        return Port->NamesOpened;
    }

    std::shared_ptr<TFakePort> Port = std::make_shared<TFakePort>();
    std::vector<ByteString> Chunks;
    std::unique_ptr<TPortThread> Link;
};

struct TModeCase {
    const char* Title;
    std::uint8_t Mode;
    std::int32_t Baud;
    TCommState Expected; // line settings applied at open
};

void PrintTo(const TModeCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortConfigure : public PortLogic, public ::testing::WithParamInterface<TModeCase> {};

TEST_P(PortConfigure, OpensTheSettingsPortWithTheModesLineSettings) {
    const TModeCase& c = GetParam();
    ASSERT_TRUE(Link->Configure(c.Mode, c.Baud));
    EXPECT_EQ(NamesOpened(), std::vector<std::string>{"COM2"});
    EXPECT_EQ(Applied(), c.Expected);
}

constexpr std::uint32_t Length = sizeof(TCommState);

INSTANTIATE_TEST_SUITE_P(
    Port, PortConfigure,
    ::testing::Values(
        TModeCase{"Ascii7E1", ModeASCII, 19200, {Length, 19200, 7, ParityEven, OneStopBit}},
        TModeCase{"Rtu8E1", ModeRTU, 19200, {Length, 19200, 8, ParityEven, OneStopBit}},
        TModeCase{"Rtu520833", ModeRTU, 520833, {Length, 520833, 8, ParityEven, OneStopBit}},
        TModeCase{"OtherModeKeepsTheInitialSettings",
                  9,
                  38400,
                  {Length, 19200, 8, ParityNone, OneStopBit}}),
    [](const auto& info) { return std::string(info.param.Title); });

TEST_F(PortLogic, OtherModeOnlyReplacesTheNameAndKeepsTheLastSettings) {
    ASSERT_TRUE(Link->Configure(ModeASCII, 9600));
    Settings.Port = "COM7";
    ASSERT_TRUE(Link->Configure(0, 38400));
    EXPECT_EQ(NamesOpened(), (std::vector<std::string>{"COM2", "COM7"}));
    std::lock_guard<std::mutex> lock(Port->Lock);
    const TCommState second = Port->StatesSet.at(2); // after the first close's restore
    EXPECT_EQ(second.BaudRate, 9600u);
    EXPECT_EQ(second.ByteSize, 7);
    EXPECT_EQ(second.Parity, ParityEven);
}

TEST_F(PortLogic, TimeoutsAreAppliedAtOpen) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    std::lock_guard<std::mutex> lock(Port->Lock);
    EXPECT_EQ(Port->TimeoutsSet.at(0), (TCommTimeouts{15, 1, 150, 1, 150}));
}

TEST_F(PortLogic, CloseGivesThePortBackItsOwnStateAndTimeouts) {
    const TCommState own = Port->State;
    const TCommTimeouts ownTimeouts = Port->Timeouts;
    ASSERT_TRUE(Link->Configure(ModeASCII, 19200));
    ASSERT_TRUE(Link->ClosePort());
    std::lock_guard<std::mutex> lock(Port->Lock);
    EXPECT_EQ(Port->State, own);
    EXPECT_EQ(Port->Timeouts, ownTimeouts);
    EXPECT_EQ(Port->Closes, 1);
}

TEST_F(PortLogic, AfterCloseTheStoredConfigurationIsTheOneThatWasInForce) {
    ASSERT_TRUE(Link->Configure(ModeASCII, 19200));
    EXPECT_EQ(Link->GetStoredState().BaudRate, 9600u); // while open: the port's previous state
    ASSERT_TRUE(Link->ClosePort());
    EXPECT_EQ(Link->GetStoredState(),
              (TCommState{sizeof(TCommState), 19200, 7, ParityEven, OneStopBit}));
    EXPECT_EQ(Link->GetStoredTimeouts(), (TCommTimeouts{15, 1, 150, 1, 150}));
}

TEST_F(PortLogic, FailedCloseKeepsTheLinkOpenWithItsWorkingState) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Port->FailClose = true;
    EXPECT_FALSE(Link->ClosePort());
    EXPECT_TRUE(Link->IsOpen());
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        EXPECT_EQ(Port->State.ByteSize, 8); // working state applied again
        EXPECT_EQ(Port->State.Parity, ParityEven);
    }
    const std::uint8_t frame[] = {1, 2, 3};
    EXPECT_TRUE(Link->WriteFrame(frame, 3));
    Port->FailClose = false;
    EXPECT_TRUE(Link->ClosePort());
}

TEST_F(PortLogic, RefusedOpenLeavesTheLinkClosed) {
    Port->RefuseOpen = true;
    EXPECT_FALSE(Link->Configure(ModeRTU, 19200));
    EXPECT_FALSE(Link->IsOpen());
}

TEST_F(PortLogic, SetterOnAnOpenLinkReopensWithTheNewValue) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Link->SetBaudRate(38400);
    EXPECT_TRUE(Link->IsOpen());
    std::lock_guard<std::mutex> lock(Port->Lock);
    EXPECT_EQ(Port->Opens, 2);
    EXPECT_EQ(Port->Closes, 1);
    EXPECT_EQ(Port->State.BaudRate, 38400u);
}

TEST_F(PortLogic, SetterWhoseReopenFailsLeavesTheLinkClosed) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Port->RefuseOpen = true;
    Link->SetParity(ParityNone);
    EXPECT_FALSE(Link->IsOpen());
}

TEST_F(PortLogic, SetterOnAClosedLinkOnlyStores) {
    Link->SetDataBits(7);
    EXPECT_FALSE(Link->IsOpen());
    EXPECT_EQ(Port->Opens, 0);
    EXPECT_EQ(Link->GetStoredState().ByteSize, 7);
}

TEST_F(PortLogic, ClosedLinkTouchesNoPort) {
    const std::uint8_t frame[] = {1};
    EXPECT_TRUE(Link->ClosePort());
    EXPECT_FALSE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(Link->BytesWaiting(), 0u);
    EXPECT_TRUE(Port->Written.empty());
    EXPECT_EQ(Port->Closes, 0);
}

TEST_F(PortLogic, OnlyTheBytesActuallyReadAreDelivered) {
    Port->Overstate = 50; // the driver claims more than arrives
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Port->Feed({0x01, 0x00, 0x02});
    ASSERT_TRUE(Main.RunUntil([&] { return !Chunks.empty(); }));
    EXPECT_EQ(Chunks.at(0), (ByteString{0x01, 0x00, 0x02}));
}

TEST_F(PortLogic, OneReadTakesAtMostAChunkWhateverIsReported) {
    Port->Overstate = 1u << 30;
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Port->Feed(ByteString(10000, 0x55));
    std::size_t total = 0;
    ASSERT_TRUE(Main.RunUntil([&] {
        total = 0;
        for (const auto& c : Chunks) {
            total += c.size();
        }
        return total == 10000;
    }));
    std::lock_guard<std::mutex> lock(Port->Lock);
    for (std::uint32_t size : Port->ReadSizes) {
        EXPECT_LE(size, TPortThread::MaxChunk);
    }
}

// The device of an open link vanishes and comes back: the link reopens it by itself, with the
// same line settings, trying a few times a second meanwhile and never watching the dead device.
class PortLogicLost : public PortLogic {
  protected:
    PortLogicLost() {
        Link->OnLinkLost = [this](bool lost) { Reports.push_back(lost); };
    }
    void SetPort(bool vanish, bool refuseOpen) {
        std::lock_guard<std::mutex> lock(Port->Lock);
        Port->Vanish = vanish;
        Port->RefuseOpen = refuseOpen;
    }
    int Waits() {
        std::lock_guard<std::mutex> lock(Port->Lock);
        return Port->Waits;
    }
    // Open attempts so far, refused ones included.
    std::size_t Attempts() { return NamesOpened().size(); }
    void Idle(int ms) {
        Main.RunUntil([] { return false; }, std::chrono::milliseconds(ms));
    }
    void LoseThePort() {
        ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
        SetPort(true, true);
        // The report follows the loss in a main-thread call of its own.
        ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost() && !Reports.empty(); }));
    }
    std::vector<bool> Reports;
    std::vector<int> ClosesAtReport;
};

TEST_F(PortLogicLost, VanishedDeviceIsReopenedWhenItIsBack) {
    LoseThePort();
    const std::uint8_t frame[] = {1};
    EXPECT_FALSE(Link->WriteFrame(frame, 1));
    EXPECT_TRUE(Link->IsOpen()); // the window still shows the port open
    EXPECT_EQ(Reports, std::vector<bool>{true});
    const std::size_t before = Attempts();
    Idle(1000);
    const std::size_t during = Attempts() - before;
    EXPECT_GE(during, 2u);
    EXPECT_LE(during, 10u) << "reopen attempts spin";
    EXPECT_EQ(Waits(), 1) << "the dead device was watched again";

    SetPort(false, false);
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    EXPECT_EQ(Reports, (std::vector<bool>{true, false}));
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        EXPECT_EQ(Port->StatesSet.back(),
                  (TCommState{sizeof(TCommState), 19200, 8, ParityEven, OneStopBit}));
        EXPECT_EQ(Port->TimeoutsSet.back(), (TCommTimeouts{15, 1, 150, 1, 150}));
    }
    Port->Feed({0x42});
    ASSERT_TRUE(Main.RunUntil([&] { return !Chunks.empty(); }));
    EXPECT_EQ(Chunks.at(0), ByteString{0x42});
    EXPECT_TRUE(Link->WriteFrame(frame, 1));
}

// The vanished device says its name cannot lead back to it yet (a pseudo-terminal whose
// registration still names its old number): no open is tried until it can.
TEST_F(PortLogicLost, NoReopenIsTriedWhileTheNameCannotLeadBack) {
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        Port->LeadsBack = false;
    }
    LoseThePort();
    SetPort(false, false);
    const std::size_t before = Attempts();
    Idle(3 * TPortThread::ReopenIntervalMs);
    EXPECT_EQ(Attempts(), before);
    EXPECT_TRUE(Link->IsLinkLost());
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        Port->LeadsBack = true;
    }
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    EXPECT_EQ(Attempts(), before + 1);
    EXPECT_EQ(Reports, (std::vector<bool>{true, false}));
}

TEST_F(PortLogicLost, CloseStopsTheAttempts) {
    LoseThePort();
    EXPECT_TRUE(Link->ClosePort());
    EXPECT_FALSE(Link->IsOpen());
    EXPECT_FALSE(Link->IsLinkLost());
    const std::size_t atClose = Attempts();
    SetPort(false, false);
    Idle(600);
    EXPECT_EQ(Attempts(), atClose);
    EXPECT_EQ(Reports, (std::vector<bool>{true, false}));
    // The configuration in force is kept for the operator's next "Nyit".
    EXPECT_EQ(Link->GetStoredState(),
              (TCommState{sizeof(TCommState), 19200, 8, ParityEven, OneStopBit}));
    ASSERT_TRUE(Link->OpenPort());
}

// The vanished device is let go as soon as its loss is known, not at the first reopen attempt:
// on Linux a held descriptor keeps its ttyUSB number taken, so the adapter would come back under
// another one.
TEST_F(PortLogicLost, VanishedDeviceIsClosedWhenItsLossIsReported) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Link->OnLinkLost = [this](bool lost) {
        std::lock_guard<std::mutex> lock(Port->Lock);
        ClosesAtReport.push_back(Port->Closes);
        Reports.push_back(lost);
    };
    SetPort(true, true);
    ASSERT_TRUE(Main.RunUntil([&] { return !Reports.empty(); }));
    EXPECT_EQ(ClosesAtReport, std::vector<int>{1});
    Idle(3 * TPortThread::ReopenIntervalMs);
    std::lock_guard<std::mutex> lock(Port->Lock);
    EXPECT_EQ(Port->Closes, 1) << "closed twice";
}

// An open can block for seconds (a Bluetooth port whose far end is away): the attempts run on
// the worker, and the window's thread goes on meanwhile.
TEST_F(PortLogicLost, ReopenAttemptsNeverRunOnTheMainThread) {
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        Port->OpenDelayMs = 3 * TPortThread::ReopenIntervalMs;
    }
    LoseThePort();
    ASSERT_TRUE(Main.RunUntil([&] { return Attempts() >= 3; }));
    const std::thread::id main = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(Port->Lock);
    ASSERT_EQ(Port->OpeningThreads.at(0), main); // the operator's own open
    for (std::size_t k = 1; k < Port->OpeningThreads.size(); ++k) {
        EXPECT_NE(Port->OpeningThreads[k], main) << "attempt " << k;
    }
}

// A reopen the worker has begun when the operator closes and opens again: the operator's open
// waits for it and gets the port; the worker's device is not kept.
TEST_F(PortLogicLost, OperatorsOpenDuringAReopenAttemptGetsThePort) {
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        Port->OpenDelayMs = 100;
    }
    LoseThePort();
    SetPort(false, false);
    const std::size_t before = Attempts();
    ASSERT_TRUE(Main.RunUntil([&] { return Attempts() > before; })); // one is under way
    EXPECT_TRUE(Link->ClosePort());
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    EXPECT_FALSE(Link->IsLinkLost());
    Idle(2 * TPortThread::ReopenIntervalMs);
    std::lock_guard<std::mutex> lock(Port->Lock);
    EXPECT_EQ(Port->Opens - Port->Closes, 1) << "a second device is held";
}

TEST_F(PortLogicLost, ShutDownWhileTheDeviceIsGoneNeverHangs) {
    LoseThePort();
    Link.reset();
}

} // namespace
} // namespace quorvel::test
