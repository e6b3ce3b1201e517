// USB adapter names through the D2XX back end, with a stand-in library that the tests build and
// the link loads at run time exactly as it would load the real one. The stand-in numbers the
// adapters by their place among those plugged in, as the real driver does.
#include "Portthread.h"

#include "D2xxLibrary.h"
#include "Pty.h"
#include "TestMainThread.h"
#include "fake_ftd2xx/FakeFtd2xx.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

template <typename Function> Function FakeFunction(const char* name) {
    void* library = OpenSharedLibrary(QUORVEL_FAKE_FTD2XX);
    auto function = reinterpret_cast<Function>(FindLibraryProc(library, name));
    EXPECT_NE(function, nullptr) << name;
    return function;
}

FakeFtSettings SettingsOfAdapter(const char* serial) {
    FakeFtSettings settings{};
    EXPECT_TRUE(FakeFunction<FakeFtSettingsFunction>("FakeFt_Settings")(serial, &settings))
        << serial;
    return settings;
}

FakeFtCounts Counts() {
    FakeFtCounts counts{};
    FakeFunction<FakeFtCountsFunction>("FakeFt_Counts")(&counts);
    return counts;
}

void FailQueueQueries(int count) {
    FakeFunction<FakeFtFailQueueQueriesFunction>("FakeFt_FailQueueQueries")(count);
}

// The adapters plugged in now, in the driver's order: "SERIAL@PATH@PLUG ...".
void Plug(const std::string& list) {
    FakeFunction<FakeFtSetAdaptersFunction>("FakeFt_SetAdapters")(list.c_str());
}

std::string Adapter(const std::string& serial, const TPty& line, int plug = 1) {
    return serial + "@" + line.SlavePath() + "@" + std::to_string(plug) + " ";
}

class PortD2xxLink : public ::testing::Test {
  protected:
    PortD2xxLink() {
        Plug(Adapter("FTA0001", First) + Adapter("FTB0002", Second));
        Link = MakeLink(QUORVEL_FAKE_FTD2XX);
    }
    ~PortD2xxLink() override {
        Link.reset();
        Plug("");
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
        link->OnLinkLost = [this](bool lost) { Reports.push_back(lost); };
        return link;
    }

    bool Opens(const std::string& name, std::int32_t baud = 19200) {
        Settings.Port = name;
        return Link->Configure(ModeASCII, baud);
    }
    void Idle(int ms) {
        Main.RunUntil([] { return false; }, std::chrono::milliseconds(ms));
    }
    std::string NoteOf(const std::string& name) {
        for (const TPortEntry& entry : Link->GetPortEntries()) {
            if (entry.Name == name) {
                return entry.Note;
            }
        }
        ADD_FAILURE() << name << " is not listed";
        return {};
    }

    TTestMainThread Main;
    TPty First;
    TPty Second;
    TSettings Settings;
    std::vector<std::string> ComNames;
    ByteString All;
    std::vector<bool> Reports;
    std::unique_ptr<TPortThread> Link;
};

TEST_F(PortD2xxLink, Usb1OpensAdapterZeroWithTheLineSettings) {
    ASSERT_TRUE(Opens("USB1"));
    EXPECT_TRUE(Link->IsUsbPort());
    EXPECT_EQ(Link->GetUsbDeviceIndex(), 0);
    const FakeFtSettings settings = SettingsOfAdapter("FTA0001");
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
              "FTDI USB adapter (D2XX)\nLeírás: Fake FT232R FTA0001\nSorozatszám: FTA0001");
    EXPECT_EQ(entries[2].Note,
              "FTDI USB adapter (D2XX)\nLeírás: Fake FT232R FTB0002\nSorozatszám: FTB0002");
}

TEST_F(PortD2xxLink, WithoutTheLibraryUsbNamesFailAndAreNotListed) {
    Link = MakeLink("/nonexistent/libftd2xx.so");
    EXPECT_FALSE(Opens("USB1"));
    EXPECT_EQ(Link->GetPortList(), std::vector<std::string>{"COM3"});
}

TEST_F(PortD2xxLink, SingleFailedQueueQueryDoesNotEndReception) {
    ASSERT_TRUE(Opens("USB1"));
    const std::uint32_t opens = SettingsOfAdapter("FTA0001").Opens;
    FailQueueQueries(1);
    Idle(50);
    ASSERT_TRUE(First.Write({0x11}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_FALSE(Link->IsLinkLost());
    EXPECT_EQ(SettingsOfAdapter("FTA0001").Opens, opens) << "the adapter was reopened";
}

// Input the adapter holds from before the open answers no request of this link.
TEST_F(PortD2xxLink, InputFromBeforeTheOpenNeverArrives) {
    ASSERT_TRUE(First.Write({0x55, 0x56}));
    ASSERT_TRUE(Opens("USB1"));
    Idle(100);
    EXPECT_TRUE(All.empty()) << All.size() << " stale bytes delivered";
    ASSERT_TRUE(First.Write({0x11}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_EQ(All, ByteString{0x11});
}

// "Zár" right after a frame: the frame needs 19.5 ms on a 9600 baud line, and what the adapter
// has not sent at FT_Close is lost. Bounded: a backlog the far end never takes cannot hold it.
TEST_F(PortD2xxLink, CloseSendsTheLastFrameWrittenAndNoBacklog) {
    ASSERT_TRUE(Opens("USB1", 9600));
    const ByteString frame{':', '0', '1', '0', '3', 'F', '0',  'A', '0',
                           '0', '0', '0', '1', '6', 'B', '\r', '\n'};
    const std::uint32_t droppedBefore = Counts().BytesDropped;
    ASSERT_TRUE(Link->WriteFrame(frame.data(), static_cast<std::uint16_t>(frame.size())));
    ASSERT_TRUE(Link->ClosePort());
    EXPECT_EQ(First.Read(frame.size(), std::chrono::milliseconds(500)), frame);
    EXPECT_EQ(Counts().BytesDropped, droppedBefore);

    ASSERT_TRUE(Link->OpenPort());
    const ByteString big(255, 0x55);
    for (int k = 0; k < 40; ++k) { // about 12 s of line time at 9600 baud
        ASSERT_TRUE(Link->WriteFrame(big.data(), static_cast<std::uint16_t>(big.size())));
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Link->ClosePort());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_GT(Counts().BytesDropped, droppedBefore);
}

// Two adapters each on its own drive: the one the console polls is pulled, and the driver moves
// the other into its place. The link waits for its own adapter and takes it back under the number
// it comes back with; the other one never sees a byte.
TEST_F(PortD2xxLink, PulledAdapterIsFollowedNeverTheOneThatTakesItsNumber) {
    ASSERT_TRUE(Opens("USB1"));
    ASSERT_TRUE(Opens("USB2")); // the other one has been opened before: it is known
    ASSERT_TRUE(Opens("USB1"));
    Plug(Adapter("FTB0002", Second)); // the other adapter is USB1 now
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    const std::uint8_t request[] = {0x01, 0x03};
    for (int k = 0; k < 10; ++k) {
        Link->WriteFrame(request, 2);
        Idle(TPortThread::ReopenIntervalMs / 2);
    }
    EXPECT_TRUE(Link->IsLinkLost()) << "the link took the other adapter";
    EXPECT_TRUE(Second.Read(1, std::chrono::milliseconds(50)).empty());

    const std::uint32_t otherOpens = SettingsOfAdapter("FTB0002").Opens;
    TPty back; // plugged in again, after the other one
    Plug(Adapter("FTB0002", Second) + Adapter("FTA0001", back, 2));
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    EXPECT_EQ(Reports, (std::vector<bool>{true, false}));
    ASSERT_TRUE(Link->WriteFrame(request, 2));
    EXPECT_EQ(back.Read(2), (ByteString{0x01, 0x03}));
    ASSERT_TRUE(back.Write({0x44}));
    ASSERT_TRUE(Main.RunUntil([&] { return !All.empty(); }));
    EXPECT_EQ(All, ByteString{0x44});
    EXPECT_TRUE(Second.Read(1, std::chrono::milliseconds(50)).empty());
    EXPECT_EQ(SettingsOfAdapter("FTB0002").Opens, otherOpens);
    EXPECT_EQ(SettingsOfAdapter("FTA0001").BaudRate, 19200u);
    EXPECT_EQ(SettingsOfAdapter("FTA0001").LatencyMs, 2);
    EXPECT_EQ(Link->GetPortName(), "USB2");
    EXPECT_EQ(Link->GetUsbDeviceIndex(), 1);
}

// The open adapter moves down the list when one before it is pulled: the list marks it under
// its new number, which the link now goes by.
TEST_F(PortD2xxLink, OpenAdapterIsListedUnderItsCurrentNumber) {
    ASSERT_TRUE(Opens("USB2"));
    Plug(Adapter("FTB0002", Second));
    const std::vector<TPortEntry> entries = Link->GetPortEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].Name, "USB1");
    EXPECT_TRUE(entries[1].Link);
    EXPECT_EQ(Link->GetPortName(), "USB1");
    EXPECT_FALSE(Link->IsLinkLost());
}

// The vanished adapter is let go at once, by one FT_Close, whose error (the adapter is gone)
// does not make the link try the same handle again.
TEST_F(PortD2xxLink, PulledAdapterIsReleasedAtOnceAndClosedOnce) {
    ASSERT_TRUE(Opens("USB1"));
    const FakeFtCounts before = Counts();
    Plug(Adapter("FTB0002", Second));
    ASSERT_TRUE(Main.RunUntil([&] { return !Reports.empty(); }));
    EXPECT_EQ(Counts().Closes, before.Closes + 1) << "not released when the loss was reported";
    Idle(3 * TPortThread::ReopenIntervalMs);
    EXPECT_TRUE(Link->ClosePort());
    Link.reset();
    EXPECT_EQ(Counts().Closes, before.Closes + 1);
    EXPECT_EQ(Counts().DoubleCloses, before.DoubleCloses);
}

// Nothing tells these adapters apart after a replug: their notes say so.
TEST_F(PortD2xxLink, AdaptersThatCannotBeToldApartSaySo) {
    TPty third;
    Plug("@" + First.SlavePath() + "@1 " + Adapter("CLONE", Second) + Adapter("CLONE", third));
    const std::string none = NoteOf("USB1");
    EXPECT_NE(none.find("Nincs sorozatszáma: kihúzás után a kapcsolat a nevén nyílik újra"),
              std::string::npos)
        << none;
    const std::string shared = NoteOf("USB3");
    EXPECT_NE(shared.find("Sorozatszám: CLONE\nA sorozatszáma egy másik csatlakoztatott "
                          "adapterével azonos: kihúzás után a kapcsolat a nevén nyílik újra"),
              std::string::npos)
        << shared;
    Plug(Adapter("CLONE", Second) + Adapter("FTA0001", First));
    EXPECT_EQ(NoteOf("USB1").find("azonos"), std::string::npos) << "only one is left";
}

// An adapter without a serial number is reopened by its number, as nothing else is known of it.
TEST_F(PortD2xxLink, AdapterWithoutASerialNumberIsReopenedByItsNumber) {
    Plug("@" + First.SlavePath() + "@1");
    ASSERT_TRUE(Opens("USB1"));
    Plug("");
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    TPty back;
    Plug("@" + back.SlavePath() + "@2");
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    const std::uint8_t frame[] = {0x07};
    ASSERT_TRUE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(back.Read(1), ByteString{0x07});
}

} // namespace
} // namespace quorvel::test
