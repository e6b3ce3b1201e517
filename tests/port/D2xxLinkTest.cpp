// USB adapter names through the D2XX back end, with a stand-in library that the tests build and
// the link loads at run time exactly as it would load the real one.
#include "Portthread.h"

#include "D2xxLibrary.h"
#include "Pty.h"
#include "TestMainThread.h"
#include "fake_ftd2xx/FakeFtd2xx.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

FakeFtSettings SettingsOfAdapter(int index) {
    void* library = OpenSharedLibrary(QUORVEL_FAKE_FTD2XX);
    auto function =
        reinterpret_cast<FakeFtSettingsFunction>(FindLibraryProc(library, "FakeFt_Settings"));
    FakeFtSettings settings{};
    EXPECT_TRUE(function != nullptr && function(index, &settings));
    return settings;
}

void FailQueueQueries(int count) {
    void* library = OpenSharedLibrary(QUORVEL_FAKE_FTD2XX);
    auto function = reinterpret_cast<FakeFtFailQueueQueriesFunction>(
        FindLibraryProc(library, "FakeFt_FailQueueQueries"));
    ASSERT_NE(function, nullptr);
    function(count);
}

class PortD2xxLink : public ::testing::Test {
  protected:
    PortD2xxLink() {
        const std::string ports = First.SlavePath() + ":" + Second.SlavePath();
        ::setenv("QUORVEL_FAKE_FTDI_PORTS", ports.c_str(), 1);
        Link = MakeLink(QUORVEL_FAKE_FTD2XX);
    }

    std::unique_ptr<TPortThread> MakeLink(const std::string& library) {
        TPortEnvironment environment;
        environment.D2xxLibrary = library;
        environment.SerialMap = [] { return std::vector<std::string>{"COM3"}; };
        environment.OpenComPort = [this](const std::string& name) {
            ComNames.push_back(name);
            return std::unique_ptr<ISerialDevice>();
        };
        auto link = std::make_unique<TPortThread>(Settings, Main.Calls(), environment);
        link->OnReceive = [this](ByteString chunk) {
            All.insert(All.end(), chunk.begin(), chunk.end());
        };
        return link;
    }

    bool Opens(const std::string& name) {
        Settings.Port = name;
        return Link->Configure(ModeASCII, 19200);
    }

    TTestMainThread Main;
    TPty First;
    TPty Second;
    TSettings Settings;
    std::vector<std::string> ComNames;
    ByteString All;
    std::unique_ptr<TPortThread> Link;
};

TEST_F(PortD2xxLink, Usb1OpensAdapterZeroWithTheLineSettings) {
    ASSERT_TRUE(Opens("USB1"));
    EXPECT_TRUE(Link->IsUsbPort());
    EXPECT_EQ(Link->GetUsbDeviceIndex(), 0);
    const FakeFtSettings settings = SettingsOfAdapter(0);
    EXPECT_EQ(settings.BaudRate, 19200u);
    EXPECT_EQ(settings.WordLength, 7);
    EXPECT_EQ(settings.StopBits, 0);
    EXPECT_EQ(settings.Parity, 2);
    EXPECT_EQ(settings.ReadTimeout, 150u);
    EXPECT_EQ(settings.WriteTimeout, 150u);
    EXPECT_EQ(settings.LatencyMs, 2);
    EXPECT_TRUE(ComNames.empty());
}

TEST_F(PortD2xxLink, Usb2ExchangesBytesWithTheSecondAdapter) {
    ASSERT_TRUE(Opens("USB2"));
    const ByteString frame{0x3A, 0x00, 0x0D, 0x0A};
    ASSERT_TRUE(Link->WriteFrame(frame.data(), 4));
    EXPECT_EQ(Second.Read(4), frame);
    ASSERT_TRUE(Second.Write({0x01, 0x00, 0x02}));
    ASSERT_TRUE(Main.RunUntil([&] { return All.size() >= 3; }));
    EXPECT_EQ(All, (ByteString{0x01, 0x00, 0x02}));
    EXPECT_TRUE(Link->ClosePort());
    EXPECT_FALSE(Link->WriteFrame(frame.data(), 4));
}

TEST_F(PortD2xxLink, LowerCaseUsbGoesToTheSerialBackEnd) {
    EXPECT_FALSE(Opens("usb1"));
    EXPECT_EQ(ComNames, std::vector<std::string>{"usb1"});
}

TEST_F(PortD2xxLink, UsbNameWithoutADecimalNumberStaysClosed) {
    for (const char* name : {"USB", "USBx", "USB1a", "USB-1", "USB 1"}) {
        EXPECT_FALSE(Opens(name)) << name;
        EXPECT_FALSE(Link->IsOpen()) << name;
    }
    EXPECT_TRUE(ComNames.empty());
}

TEST_F(PortD2xxLink, AdapterBeyondTheAttachedOnesDoesNotOpen) {
    EXPECT_FALSE(Opens("USB3"));
}

TEST_F(PortD2xxLink, PortListCountsTheAttachedAdapters) {
    EXPECT_EQ(Link->GetPortList(), (std::vector<std::string>{"COM3", "USB1", "USB2"}));
}

TEST_F(PortD2xxLink, AdaptersAreDescribedAsTheLibraryListsThem) {
    const std::vector<TPortEntry> entries = Link->GetPortEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].Name, "USB1");
    EXPECT_EQ(entries[1].Note,
              "FTDI USB adapter (D2XX)\nLeírás: Fake FT232R 1\nSorozatszám: FAKE0001");
    EXPECT_EQ(entries[2].Note,
              "FTDI USB adapter (D2XX)\nLeírás: Fake FT232R 2\nSorozatszám: FAKE0002");
}

TEST_F(PortD2xxLink, WithoutTheLibraryUsbNamesFailAndAreNotListed) {
    Link = MakeLink("/nonexistent/libftd2xx.so");
    EXPECT_FALSE(Opens("USB1"));
    EXPECT_EQ(Link->GetPortList(), std::vector<std::string>{"COM3"});
}

TEST_F(PortD2xxLink, UnpluggedAdapterStopsDeliveringAndReopensWhenBack) {
    ASSERT_TRUE(Opens("USB1"));
    First.CloseMaster();
    const std::uint8_t frame[] = {0x01};
    EXPECT_TRUE(Main.RunUntil([&] { return !Link->WriteFrame(frame, 1); }));
    TPty replacement;
    const std::string ports = replacement.SlavePath() + ":" + Second.SlavePath();
    ::setenv("QUORVEL_FAKE_FTDI_PORTS", ports.c_str(), 1);
    EXPECT_TRUE(Link->ClosePort());
    ASSERT_TRUE(Link->OpenPort());
    ASSERT_TRUE(replacement.Write({0x33}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_EQ(All, ByteString{0x33});
}

TEST_F(PortD2xxLink, SingleFailedQueueQueryDoesNotEndReception) {
    ASSERT_TRUE(Opens("USB1"));
    const std::uint32_t opens = SettingsOfAdapter(0).Opens;
    FailQueueQueries(1);
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(First.Write({0x11}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_FALSE(Link->IsLinkLost());
    EXPECT_EQ(SettingsOfAdapter(0).Opens, opens) << "the adapter was reopened";
}

TEST_F(PortD2xxLink, UnpluggedAdapterIsReopenedByItselfWhenBack) {
    ASSERT_TRUE(Opens("USB1"));
    First.CloseMaster();
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    TPty replacement;
    const std::string ports = replacement.SlavePath() + ":" + Second.SlavePath();
    ::setenv("QUORVEL_FAKE_FTDI_PORTS", ports.c_str(), 1);
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    EXPECT_EQ(SettingsOfAdapter(0).BaudRate, 19200u);
    EXPECT_EQ(SettingsOfAdapter(0).LatencyMs, 2);
    ASSERT_TRUE(replacement.Write({0x44}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_EQ(All, ByteString{0x44});
    Link.reset();
}

} // namespace
} // namespace quorvel::test
