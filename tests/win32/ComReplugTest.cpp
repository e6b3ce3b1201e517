// Under Wine: a COM port is followed by the USB device the device tree names for it. The lane's
// two COM ports stand for two adapters; the tree tells their serial numbers. The link's device
// is lost (its queue queries keep failing) and comes back under the other COM name, while another
// adapter took its old one: the link reopens where its adapter is now, never its old name.
#include "DriveRegisters.h"
#include "LinkFixture.h"
#include "WineDevices.h"

namespace quorvel::win32test {
namespace {

class WineComReplug : public TLinkFixture {
  protected:
    void SetUp() override {
        const std::optional<std::string> split = SplitComPortUnderTest();
        if (!split) {
            GTEST_SKIP() << "QUORVEL_WINE_SPLIT_COM is not set: run through scripts/wine-tests.sh";
        }
        Other = *split;
        TLinkFixture::SetUp();
        RemoveTestDevices(); // left by a run that crashed
    }
    void TearDown() override { RemoveTestDevices(); }

    // The adapter with serial number serial is plugged in and named port.
    void Adapter(const std::wstring& serial, const std::string& port) {
        ASSERT_TRUE(AddPortsDevice({L"USB\\VID_0403&PID_6001\\" + serial, port}));
    }
    std::vector<std::string> NamesOpened() {
        std::lock_guard<std::mutex> lock(Spy.Lock);
        return Spy.Names;
    }

    std::string Other;
};

TEST_F(WineComReplug, LostPortIsReopenedWhereItsAdapterIsNow) {
    Adapter(L"QVREPLUGA", ComPort);
    Adapter(L"QVREPLUGB", Other);
    auto link = MakeLink(true);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    Adapter(L"QVREPLUGA", Other);
    Adapter(L"QVREPLUGB", ComPort);
    Spy.FailQueries = QueueFailuresBeforeHangup;
    ASSERT_TRUE(
        Pump.PumpUntil([&] { return Spy.Opens.load() == 2 && !link->IsLinkLost(); }, ReplyLimit));
    EXPECT_EQ(NamesOpened(), (std::vector<std::string>{ComPort, Other}));
    EXPECT_EQ(link->GetPortName(), Other);
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
    EXPECT_TRUE(link->ClosePort());
}

// Nothing tells this COM port's device from another: it is reopened by its name.
TEST_F(WineComReplug, PortNothingTellsApartIsReopenedByItsName) {
    auto link = MakeLink(true);
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    Spy.FailQueries = QueueFailuresBeforeHangup;
    ASSERT_TRUE(
        Pump.PumpUntil([&] { return Spy.Opens.load() == 2 && !link->IsLinkLost(); }, ReplyLimit));
    EXPECT_EQ(NamesOpened(), (std::vector<std::string>{ComPort, ComPort}));
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
}

} // namespace
} // namespace quorvel::win32test
