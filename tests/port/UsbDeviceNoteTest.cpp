// What a USB serial device's note says, and how a Windows device instance path and a registry
// text are read for it.
#include "UsbDeviceNote.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

struct TPathCase {
    const char* Path;
    const char* VendorId; // nullptr: the path is refused
    const char* ProductId;
    const char* Serial;
};

void PrintTo(const TPathCase& c, std::ostream* os) {
    *os << c.Path;
}

class UsbInstancePath : public ::testing::TestWithParam<TPathCase> {};

TEST_P(UsbInstancePath, GivesTheIdsAndTheSerialNumber) {
    const TPathCase& c = GetParam();
    const std::optional<TUsbDeviceFacts> device = UsbIdsOfInstancePath(c.Path);
    if (c.VendorId == nullptr) {
        EXPECT_FALSE(device.has_value());
        return;
    }
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(device->VendorId, c.VendorId);
    EXPECT_EQ(device->ProductId, c.ProductId);
    EXPECT_EQ(device->Serial, c.Serial);
    EXPECT_TRUE(device->Maker.empty() && device->Product.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Port, UsbInstancePath,
    ::testing::Values(
        // The instance is the device's own serial number.
        TPathCase{"USB\\VID_2341&PID_0043\\85736323838351F0D1A1", "2341", "0043",
                  "85736323838351F0D1A1"},
        // Windows made the instance up from the device's place on the bus: no serial number.
        TPathCase{"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", "1a86", "7523", ""},
        // One interface of a composite device.
        TPathCase{"USB\\VID_2341&PID_8036&MI_00\\6&3A5F1B2&0&0000", "2341", "8036", ""},
        TPathCase{"usb\\vid_067b&pid_2303\\ABC123", "067b", "2303", "ABC123"},
        TPathCase{"USB\\PID_6015&VID_0403\\X1", "0403", "6015", "X1"},
        // FTDI's own bus: the serial number without the letter of the chip's port.
        TPathCase{"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "0403", "6001", "A50285BI"},
        TPathCase{"FTDIBUS\\VID_0403+PID_6010+FT4ZS6I5B\\0000", "0403", "6010", "FT4ZS6I5"},
        TPathCase{"FTDIBUS\\VID_0403+PID_6001+A\\0000", "0403", "6001", ""},
        TPathCase{"FTDIBUS\\VID_0403+PID_6001+6&1C2D&0&1A\\0000", "0403", "6001", ""},
        // Not a USB serial device, or ids missing or malformed.
        TPathCase{"USB\\ROOT_HUB30\\4&1A2B3C&0&0", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_12&PID_3456\\X", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_12G4&PID_3456\\X", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_12345&PID_3456\\X", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_1234\\X", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_1234&PID_5678", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_1234&PID_5678\\", nullptr, nullptr, nullptr},
        TPathCase{"USB\\VID_1234&PID_5678\\A\\B", nullptr, nullptr, nullptr},
        TPathCase{"ACPI\\VID_1234&PID_5678\\1", nullptr, nullptr, nullptr},
        TPathCase{"FTDIBUS\\VID_0403+PID_6001\\0000", nullptr, nullptr, nullptr},
        TPathCase{"", nullptr, nullptr, nullptr}));

TEST(UsbRegistryText, InfReferenceGivesTheTextAfterItsLastSemicolon) {
    EXPECT_EQ(RegistryDisplayText("@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340"),
              "USB-SERIAL CH340");
    EXPECT_EQ(RegistryDisplayText("@oem7.inf,%a%;b;Prolific"), "Prolific");
    EXPECT_EQ(RegistryDisplayText("@usbser.inf,%usbser.devicedesc%"), "");
    EXPECT_EQ(RegistryDisplayText("@oem3.inf,%mfg%; FTDI "), "FTDI");
}

TEST(UsbRegistryText, PlainTextStaysWhole) {
    EXPECT_EQ(RegistryDisplayText("Silicon Labs; CP210x"), "Silicon Labs; CP210x");
    EXPECT_EQ(RegistryDisplayText(std::string_view("USB soros eszköz \0\0", 20)),
              "USB soros eszköz");
    EXPECT_EQ(RegistryDisplayText(""), "");
}

TEST(UsbNote, NamesMakerProductSerialAndIdsOnALineEach) {
    EXPECT_EQ(UsbDeviceNote({"FTDI", "FT232R USB UART", "A50285BI", "0403", "6001"}),
              "Gyártó: FTDI\nTermék: FT232R USB UART\nSorozatszám: A50285BI\n"
              "USB azonosító: 0403:6001");
}

TEST(UsbNote, LeavesOutWhatIsUnknown) {
    EXPECT_EQ(UsbDeviceNote({"wch.cn", "USB-SERIAL CH340", "", "1a86", "7523"}),
              "Gyártó: wch.cn\nTermék: USB-SERIAL CH340\nUSB azonosító: 1a86:7523");
    EXPECT_EQ(UsbDeviceNote({"", "", "X1", "0403", ""}), "Sorozatszám: X1");
    EXPECT_EQ(UsbDeviceNote({}), "");
    std::string note = UsbDeviceNote({});
    AddNoteLine(note, "Eszköz: ", "\\Device\\VCP0");
    EXPECT_EQ(note, "Eszköz: \\Device\\VCP0");
}

TUsbDeviceFacts FtdiWithLatency(std::uint32_t ms) {
    TUsbDeviceFacts device{"FTDI", "USB Serial Port", "A50285BI", "0403", "6001"};
    device.LatencyTimerMs = ms;
    return device;
}

// FTDI's driver holds short replies back for its latency timer; the D2XX path sets 2 ms.
TEST(UsbNote, LatencyTimerAboveTwoMsSaysWhatItCostsAndWhatToDo) {
    const std::string plain = UsbDeviceNote(FtdiWithLatency(0));
    const std::string note = UsbDeviceNote(FtdiWithLatency(16));
    ASSERT_EQ(note.rfind(plain + "\n", 0), 0u) << note;
    EXPECT_EQ(note.substr(plain.size()),
              "\nKésleltetési időzítő: 16 ms – ennyit késhet minden rövid válasz."
              "\nTeendő: válassza inkább az adapter „USB…” bejegyzését (ott 2 ms), vagy"
              "\nállítsa 2 ms-ra: Eszközkezelő → Portok (COM és LPT) → a port →"
              "\nPort beállításai → Speciális → Késleltetési időzítő (Latency Timer).");
    EXPECT_NE(UsbDeviceNote(FtdiWithLatency(3)).find("Késleltetési időzítő: 3 ms"),
              std::string::npos);
}

TEST(UsbNote, LatencyTimerOfTwoMsOrLessIsNotMentioned) {
    const std::string plain = UsbDeviceNote(FtdiWithLatency(0));
    EXPECT_EQ(UsbDeviceNote(FtdiWithLatency(1)), plain);
    EXPECT_EQ(UsbDeviceNote(FtdiWithLatency(2)), plain);
}

} // namespace
} // namespace quorvel::test
