// The D2XX back end loaded at run time from a stand-in library (built beside this executable)
// that carries the FT_ calls out on the lane's COM port; and the link without any D2XX library.
#include "D2xxLibrary.h"
#include "DriveRegisters.h"
#include "FakeFtd2xxControl.h"
#include "LinkFixture.h"

#include <algorithm>
#include <cstring>
#include <ostream>

namespace quorvel::win32test {
namespace {

using fake_ftdi::TFakeFtdiRecord;

constexpr const char* StandInFile = "quorvel_fake_ftd2xx.dll";
constexpr std::uint32_t FtIoError = 4;

bool IsUsbName(const std::string& name) {
    return name.rfind("USB", 0) == 0;
}

class WineD2xxStandIn : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        LibraryPath = BesideExecutable(StandInFile);
        // The same module the link loads: the record is shared with it.
        HMODULE module = LoadLibraryA(LibraryPath.c_str());
        ASSERT_NE(module, nullptr) << LibraryPath;
        auto recordProc = reinterpret_cast<fake_ftdi::TFakeFtdiRecordProc>(
            reinterpret_cast<void*>(GetProcAddress(module, fake_ftdi::RecordProcName)));
        ASSERT_NE(recordProc, nullptr);
        Record = recordProc();
        *Record = TFakeFtdiRecord{};
        std::strncpy(Record->ComPort, ComPort.c_str(), sizeof(Record->ComPort) - 1);
        Record->AdapterCount = 2;
        Record->OpenedIndex = -1;
    }

    std::unique_ptr<TPortThread> MakeUsbLink(const std::string& name) {
        Settings.Port = name;
        TPortEnvironment environment;
        environment.D2xxLibrary = LibraryPath;
        return MakeLink(false, std::move(environment));
    }

    std::string LibraryPath;
    TFakeFtdiRecord* Record = nullptr;
};

TEST_F(WineD2xxStandIn, PortListEndsWithOneEntryPerAdapter) {
    auto link = MakeUsbLink("USB1");

    const std::vector<std::string> names = link->GetPortList();

    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], "USB1");
    EXPECT_EQ(names.back(), "USB2");
    EXPECT_EQ(std::count_if(names.begin(), names.end(), IsUsbName), 2);
    EXPECT_EQ(Record->ListFlags, FT_LIST_NUMBER_ONLY);
}

TEST_F(WineD2xxStandIn, NoAdaptersAttachedMeansNoUsbEntries) {
    Record->AdapterCount = 0;
    auto link = MakeUsbLink("USB1");

    const std::vector<std::string> names = link->GetPortList();

    EXPECT_EQ(std::count_if(names.begin(), names.end(), IsUsbName), 0);
    EXPECT_NE(std::find(names.begin(), names.end(), ComPort), names.end());
}

struct UsbOpenCase {
    const char* Name;
    std::uint8_t Mode;
    std::int32_t Baud;
    int DeviceIndex;
    std::uint8_t WordLength;
};

// Test names in ctest carry the case name, not the bytes of the case.
void PrintTo(const UsbOpenCase& c, std::ostream* out) {
    *out << c.Name;
}

class WineD2xxOpen : public WineD2xxStandIn, public ::testing::WithParamInterface<UsbOpenCase> {};

TEST_P(WineD2xxOpen, OpensTheNumberedAdapterWithTheModesLineSettings) {
    const UsbOpenCase& c = GetParam();
    auto link = MakeUsbLink(c.Name);

    ASSERT_TRUE(link->Configure(c.Mode, c.Baud));
    ASSERT_TRUE(link->ClosePort());

    EXPECT_EQ(Record->OpenedIndex, c.DeviceIndex);
    EXPECT_EQ(Record->BaudRate, static_cast<std::uint32_t>(c.Baud));
    EXPECT_EQ(Record->WordLength, c.WordLength);
    EXPECT_EQ(Record->StopBits, 0u); // FT_STOP_BITS_1
    EXPECT_EQ(Record->Parity, 2u);   // FT_PARITY_EVEN
    EXPECT_EQ(Record->ReadTimeoutMs, 150u);
    EXPECT_EQ(Record->WriteTimeoutMs, 150u);
    EXPECT_EQ(Record->LatencyMs, 2u);
    EXPECT_EQ(Record->CloseCalls, 1u);
}

INSTANTIATE_TEST_SUITE_P(Names, WineD2xxOpen,
                         ::testing::Values(UsbOpenCase{"USB1", ModeRTU, 19200, 0, 8},
                                           UsbOpenCase{"USB2", ModeASCII, 9600, 1, 7}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(WineD2xxStandIn, AdapterNumberBeyondTheAttachedOnesStaysClosed) {
    auto link = MakeUsbLink("USB3");

    EXPECT_FALSE(link->Configure(ModeRTU, 19200));

    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(Record->OpenedIndex, 2);
}

TEST_F(WineD2xxStandIn, LowerCaseUsbIsNotAnAdapterName) {
    auto link = MakeUsbLink("usb1");

    EXPECT_FALSE(link->Configure(ModeRTU, 19200));

    EXPECT_EQ(Record->OpenCalls, 0u);
}

TEST_F(WineD2xxStandIn, FailedAdapterCloseKeepsTheLinkOpenAndUsable) {
    auto link = MakeUsbLink("USB1");
    Settings.Mode = ModeRTU;
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    Record->CloseStatus = FtIoError;

    EXPECT_FALSE(link->ClosePort());
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);

    Record->CloseStatus = 0;
    EXPECT_TRUE(link->ClosePort());
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(Record->CloseCalls, 2u);
}

struct AdapterExchangeCase {
    const char* Name;
    std::uint8_t Mode;
    std::uint32_t Overstatement;
};

// Test names in ctest carry the case name, not the bytes of the case.
void PrintTo(const AdapterExchangeCase& c, std::ostream* out) {
    *out << c.Name;
}

class WineD2xxExchange : public WineD2xxStandIn,
                         public ::testing::WithParamInterface<AdapterExchangeCase> {};

TEST_P(WineD2xxExchange, ReplyThroughTheAdapterArrivesWhole) {
    const AdapterExchangeCase& c = GetParam();
    Record->QueueOverstatement = c.Overstatement;
    auto link = MakeUsbLink("USB1");
    Settings.Mode = c.Mode;
    ASSERT_TRUE(link->Configure(c.Mode, 19200));

    EXPECT_EQ(ReadExchange(*link, RegMotorCurrent), Good);

    EXPECT_EQ(Received.size(), ReadReplyLength(c.Mode));
    EXPECT_FALSE(ReceivedOffMainThread);
    ASSERT_TRUE(link->ClosePort());
    if (c.Overstatement > 0) {
        EXPECT_GE(Record->ShortReads, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, WineD2xxExchange,
                         ::testing::Values(AdapterExchangeCase{"Rtu", ModeRTU, 0},
                                           AdapterExchangeCase{"Ascii", ModeASCII, 0},
                                           AdapterExchangeCase{"RtuOverstated", ModeRTU, 64},
                                           AdapterExchangeCase{"AsciiOverstated", ModeASCII, 64}),
                         [](const auto& info) { return std::string(info.param.Name); });

// An answer the adapter holds from before the open is no answer to this link's requests.
TEST_F(WineD2xxStandIn, InputFromBeforeTheOpenNeverArrives) {
    const ByteString request = BuildReadRequest(Settings, RegOutputFrequency);
    ASSERT_TRUE(LeaveAnswerPending(ComPort, std::string(request.begin(), request.end())));
    auto link = MakeUsbLink("USB1");
    Settings.Mode = ModeRTU;
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    Pump.PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(Received.empty()) << Received.size() << " bytes from before the open";
    EXPECT_EQ(Record->InputPurges, 1u);
    EXPECT_EQ(ReadExchange(*link, RegMotorCurrent), Good);
}

// Without any D2XX library the link still loads and serves COM ports; adapters are simply absent.
using WineWithoutD2xx = TLinkFixture;

TEST_F(WineWithoutD2xx, UsbNameFailsToOpenAndComPortStillWorks) {
    ASSERT_EQ(LoadLibraryA(DefaultD2xxLibrary().c_str()), nullptr)
        << "this prefix must hold no " << DefaultD2xxLibrary();
    Settings.Port = "USB1";
    auto link = MakeLink(false);

    EXPECT_FALSE(link->Configure(ModeRTU, 19200));
    const std::vector<std::string> names = link->GetPortList();
    EXPECT_EQ(std::count_if(names.begin(), names.end(), IsUsbName), 0);

    Settings.Port = ComPort;
    Settings.Mode = ModeRTU;
    ASSERT_TRUE(link->Configure(ModeRTU, 19200));
    EXPECT_EQ(ReadExchange(*link, RegOutputFrequency), Good);
}

} // namespace
} // namespace quorvel::win32test
