// Which USB device each port name belongs to, worked out from the system's list of serial port
// devices; the list here is a fake enumerator's, with what Windows' SetupAPI gives.
#include "UsbPortDevices.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

TPortDeviceRecord Record(std::string instance, std::string port, std::string parent = {}) {
    TPortDeviceRecord record;
    record.InstanceId = std::move(instance);
    record.PortName = std::move(port);
    record.ParentInstanceId = std::move(parent);
    return record;
}

const TUsbDeviceFacts* Find(const std::map<std::string, TUsbDeviceFacts>& devices,
                            const std::string& port) {
    const auto found = devices.find(port);
    return found == devices.end() ? nullptr : &found->second;
}

TEST(UsbPortDevices, EachPortGetsTheDeviceThatNamesIt) {
    TPortDeviceRecord ch340 = Record("USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", "COM3",
                                     "USB\\VID_8087&PID_0024\\5&1111&0&1");
    ch340.Maker = "@oem12.inf,%wch.mfg%;wch.cn";
    ch340.Description = "@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340";
    TPortDeviceRecord cp210x = Record("USB\\VID_10C4&PID_EA60\\0001", "COM4");
    cp210x.FriendlyName = "Silicon Labs CP210x USB to UART Bridge (COM4)";

    const auto devices = UsbDevicesOfPortRecords({"COM1", "COM3", "COM4"}, {cp210x, ch340});

    EXPECT_EQ(devices.size(), 2u);
    EXPECT_EQ(Find(devices, "COM1"), nullptr);
    const TUsbDeviceFacts* com3 = Find(devices, "COM3");
    ASSERT_NE(com3, nullptr);
    EXPECT_EQ(com3->Maker, "wch.cn");
    EXPECT_EQ(com3->Product, "USB-SERIAL CH340");
    EXPECT_EQ(com3->Serial, ""); // made up by Windows; the parent is a hub, not the device
    EXPECT_EQ(com3->VendorId + ":" + com3->ProductId, "1a86:7523");
    const TUsbDeviceFacts* com4 = Find(devices, "COM4");
    ASSERT_NE(com4, nullptr);
    EXPECT_EQ(com4->Product, "Silicon Labs CP210x USB to UART Bridge (COM4)");
    EXPECT_EQ(com4->Serial, "0001");
}

TEST(UsbPortDevices, NamesCompareIgnoringCaseAndKeepTheCallersSpelling) {
    const auto devices =
        UsbDevicesOfPortRecords({"com7"}, {Record("USB\\VID_0403&PID_6015\\DK0ABCDE", "COM7")});
    ASSERT_NE(Find(devices, "com7"), nullptr);
    EXPECT_EQ(Find(devices, "com7")->Serial, "DK0ABCDE");
}

TEST(UsbPortDevices, TheFirstDeviceOfANameCounts) {
    const auto devices =
        UsbDevicesOfPortRecords({"COM5"}, {Record("USB\\VID_067B&PID_2303\\FIRST", "COM5"),
                                           Record("USB\\VID_1A86&PID_7523\\SECOND", "COM5")});
    ASSERT_NE(Find(devices, "COM5"), nullptr);
    EXPECT_EQ(Find(devices, "COM5")->Serial, "FIRST");
}

// The interface's instance is made up; the composite device above it, with the same ids, holds
// the serial number. A parent with other ids (a hub), or none, gives nothing.
TEST(UsbPortDevices, CompositeInterfaceTakesItsParentsSerialNumber) {
    const std::string interface = "USB\\VID_2341&PID_8036&MI_00\\6&3A5F1B2&0&0000";
    const auto devices = UsbDevicesOfPortRecords(
        {"COM6", "COM7", "COM8", "COM9"},
        {Record(interface, "COM6", "USB\\VID_2341&PID_8036\\QVPARENT01"),
         Record(interface, "COM7", "USB\\VID_05E3&PID_0610\\HUBSERIAL"),
         Record(interface, "COM8", ""), Record(interface, "COM9", "ACPI\\PNP0A08\\0")});
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices.at("COM6").Serial, "QVPARENT01");
    EXPECT_EQ(devices.at("COM7").Serial, "");
    EXPECT_EQ(devices.at("COM8").Serial, "");
    EXPECT_EQ(devices.at("COM9").Serial, "");
}

TEST(UsbPortDevices, ADevicesOwnSerialNumberWinsOverItsParents) {
    const auto devices = UsbDevicesOfPortRecords(
        {"COM6"}, {Record("USB\\VID_2341&PID_8036\\OWN01", "COM6", "USB\\VID_2341&PID_8036\\P")});
    EXPECT_EQ(devices.at("COM6").Serial, "OWN01");
}

// FTDI's virtual COM port hangs off the USB device; its own instance already names the serial.
TEST(UsbPortDevices, FtdiLatencyTimerIsTakenOnlyFromFtdisBus) {
    TPortDeviceRecord ftdi = Record("FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "COM9",
                                    "USB\\VID_0403&PID_6001\\A50285BI");
    ftdi.LatencyTimerMs = 16;
    TPortDeviceRecord other = Record("USB\\VID_1A86&PID_7523\\QV1", "COM10");
    other.LatencyTimerMs = 16;

    const auto devices = UsbDevicesOfPortRecords({"COM9", "COM10"}, {ftdi, other});

    EXPECT_EQ(devices.at("COM9").Serial, "A50285BI");
    EXPECT_EQ(devices.at("COM9").LatencyTimerMs, 16u);
    EXPECT_EQ(devices.at("COM10").LatencyTimerMs, 0u);
}

TEST(UsbPortDevices, DevicesThatAreNoUsbSerialDevicesOrNameNoPortAreLeftOut) {
    const auto devices = UsbDevicesOfPortRecords(
        {"COM1", "COM2", "COM3", ""},
        {Record("ACPI\\PNP0501\\1", "COM1"),
         Record("BTHENUM\\{00001101}_LOCALMFG&0002\\7&1", "COM2"),
         Record("USB\\ROOT_HUB30\\4&1A2B&0&0", "COM3"), Record("USB\\VID_1209&PID_0001\\X", "")});
    EXPECT_TRUE(devices.empty());
    EXPECT_TRUE(UsbDevicesOfPortRecords({}, {Record("USB\\VID_1209&PID_0001\\X", "COM1")}).empty());
    EXPECT_TRUE(UsbDevicesOfPortRecords({"COM1"}, {}).empty());
}

} // namespace
} // namespace quorvel::test
