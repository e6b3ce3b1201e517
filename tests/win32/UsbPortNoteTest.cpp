// Under Wine: the port list's notes for USB serial devices, read from the device tree
// (HKLM\SYSTEM\CurrentControlSet\Enum) that the test fills with a CH340-like adapter on the lane's
// COM port, an FTDI adapter on its split COM port, and odd keys; the keys it made go at the end.
#include "LinkFixture.h"

#include <map>

namespace quorvel::win32test {
namespace {

const wchar_t* const EnumRoot = L"SYSTEM\\CurrentControlSet\\Enum";

struct TValue {
    const wchar_t* Name;
    std::wstring Text;
};

class WineUsbPortNotes : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const std::optional<std::string> split = SplitComPortUnderTest();
        if (!split || AddedSerialMapNames().size() < 3) {
            GTEST_SKIP() << "QUORVEL_WINE_SPLIT_COM or QUORVEL_WINE_TEST_PORTS is not set";
        }
        FtdiPort = *split;
        RemoveMadeKeys(); // what a run that crashed may have left
    }
    void TearDown() override { RemoveMadeKeys(); }

    // Makes Enum\<instance path> with its values; port: the PortName under Device Parameters
    // (none when empty); present: with the Control subkey a device has while it is plugged in.
    void AddDevice(const std::wstring& path, const std::string& port, bool present,
                   const std::vector<TValue>& values = {}) {
        const std::wstring key = std::wstring(EnumRoot) + L"\\" + path;
        Made.push_back(path);
        for (const TValue& value : values) {
            SetText(key, value.Name, value.Text);
        }
        if (!port.empty()) {
            SetText(key + L"\\Device Parameters", L"PortName",
                    std::wstring(port.begin(), port.end()));
        }
        if (present) {
            SetText(key + L"\\Control", L"ActiveService", L"usbser");
        }
    }

    void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
        ASSERT_TRUE(SetRegistryText(key, name, text));
    }

    // Each instance key made, then its device key and branch when nothing else is left in them.
    void RemoveMadeKeys() {
        for (const std::wstring& path : MadeOrPlanned()) {
            std::wstring key = std::wstring(EnumRoot) + L"\\" + path;
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
            for (int level = 0; level < 2; ++level) {
                key.resize(key.rfind(L'\\'));
                RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str()); // fails while others are inside
            }
        }
        Made.clear();
    }

    std::map<std::string, std::string> Notes() {
        TPortEnvironment environment;
        environment.D2xxLibrary = "quorvel_no_such_ftd2xx.dll";
        std::map<std::string, std::string> notes;
        for (const TPortEntry& entry : MakeLink(false, std::move(environment))->GetPortEntries()) {
            notes[entry.Name] = entry.Note;
        }
        return notes;
    }

    static std::vector<std::wstring> Planned() {
        return {L"USB\\VID_1A86&PID_7523\\QVTEST0001",
                L"USB\\VID_10C4&PID_EA60\\QVGONE01",
                L"FTDIBUS\\VID_0403+PID_6001+QV285BIA\\0000",
                L"USB\\VID_2341&PID_8036&MI_00\\6&3A5F1B2&0&0000",
                L"USB\\VID_2341&PID_8036\\QVOTHER01",
                L"USB\\VID_2341&PID_8036\\QVPARENT01",
                L"USB\\VID_XYZ&PID_1\\QVODD001",
                L"USB\\ROOT_HUB30\\4&QVHUB&0&0",
                L"USB\\VID_1209&PID_0001\\QVNOPARAMS",
                L"USB\\VID_1209&PID_0002\\QVDWORD"};
    }
    std::vector<std::wstring> MadeOrPlanned() const {
        std::vector<std::wstring> all = Planned();
        all.insert(all.end(), Made.begin(), Made.end());
        return all;
    }

    std::string FtdiPort;
    std::vector<std::wstring> Made;
};

// The USB lines come first, then the device object the serial map names.
void ExpectNote(const std::string& note, const std::string& usbLines) {
    EXPECT_EQ(note.substr(0, usbLines.size()), usbLines) << note;
    EXPECT_EQ(note.find("\nEszköz: \\Device\\"), usbLines.size()) << note;
}

TEST_F(WineUsbPortNotes, NameMakerProductSerialAndIdsOfEachAdapter) {
    AddDevice(L"USB\\VID_1A86&PID_7523\\QVTEST0001", ComPort, true,
              {{L"Mfg", L"@oem12.inf,%wch.mfg%;Példa Művek"},
               {L"DeviceDesc", L"@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340"},
               {L"FriendlyName",
                L"USB-SERIAL CH340 (" + std::wstring(ComPort.begin(), ComPort.end()) + L")"}});
    AddDevice(L"FTDIBUS\\VID_0403+PID_6001+QV285BIA\\0000", FtdiPort, true,
              {{L"Mfg", L"FTDI"}, {L"FriendlyName", L"USB Serial Port"}});
    const std::map<std::string, std::string> notes = Notes();
    ASSERT_EQ(notes.count(ComPort), 1u);
    ASSERT_EQ(notes.count(FtdiPort), 1u);
    ExpectNote(notes.at(ComPort), "Gyártó: Példa Művek\nTermék: USB-SERIAL CH340\n"
                                  "Sorozatszám: QVTEST0001\nUSB azonosító: 1a86:7523");
    ExpectNote(notes.at(FtdiPort), "Gyártó: FTDI\nTermék: USB Serial Port\n"
                                   "Sorozatszám: QV285BI\nUSB azonosító: 0403:6001");
}

// An adapter once plugged in on the same COM name keeps its key, and comes first in the tree.
TEST_F(WineUsbPortNotes, ThePresentDeviceWinsOverOneThatWasPulled) {
    AddDevice(L"USB\\VID_10C4&PID_EA60\\QVGONE01", ComPort, false, {{L"Mfg", L"Silicon Labs"}});
    AddDevice(L"USB\\VID_1A86&PID_7523\\QVTEST0001", ComPort, true, {{L"Mfg", L"wch.cn"}});
    ExpectNote(Notes()[ComPort], "Gyártó: wch.cn\nSorozatszám: QVTEST0001\n"
                                 "USB azonosító: 1a86:7523");
}

TEST_F(WineUsbPortNotes, APulledDeviceIsAllThereIsToTell) {
    AddDevice(L"USB\\VID_10C4&PID_EA60\\QVGONE01", ComPort, false, {{L"Mfg", L"Silicon Labs"}});
    ExpectNote(Notes()[ComPort], "Gyártó: Silicon Labs\nSorozatszám: QVGONE01\n"
                                 "USB azonosító: 10c4:ea60");
}

// Names ignoring case; a made-up instance carries no serial number of its own.
TEST_F(WineUsbPortNotes, CompositeDeviceInterfaceHasNoSerialNumber) {
    const std::string lower = AddedSerialMapNames()[2]; // com3
    AddDevice(L"USB\\VID_2341&PID_8036&MI_00\\6&3A5F1B2&0&0000", "COM3", true,
              {{L"DeviceDesc", L"@usbser.inf,%usbser.devicedesc%"}});
    ExpectNote(Notes()[lower], "USB azonosító: 2341:8036");
}

// Its parent's instance, the one whose ParentIdPrefix made the interface's, is.
TEST_F(WineUsbPortNotes, CompositeDeviceInterfaceTakesItsParentsSerialNumber) {
    const std::string lower = AddedSerialMapNames()[2];
    AddDevice(L"USB\\VID_2341&PID_8036\\QVOTHER01", "", true, {{L"ParentIdPrefix", L"6&11111&0"}});
    AddDevice(L"USB\\VID_2341&PID_8036\\QVPARENT01", "", true,
              {{L"ParentIdPrefix", L"6&3a5f1b2&0"}, {L"DeviceDesc", L"USB Composite Device"}});
    AddDevice(L"USB\\VID_2341&PID_8036&MI_00\\6&3A5F1B2&0&0000", "COM3", true,
              {{L"DeviceDesc", L"Arduino Leonardo"}});
    ExpectNote(Notes()[lower], "Termék: Arduino Leonardo\nSorozatszám: QVPARENT01\n"
                               "USB azonosító: 2341:8036");
}

TEST_F(WineUsbPortNotes, OddKeysLeaveTheListAndItsOtherNotesAlone) {
    const std::vector<std::string> added = AddedSerialMapNames(); // COM10, COM2, com3
    const std::map<std::string, std::string> before = Notes();
    AddDevice(L"USB\\VID_XYZ&PID_1\\QVODD001", added[0], true, {{L"Mfg", L"Odd"}});
    AddDevice(L"USB\\ROOT_HUB30\\4&QVHUB&0&0", added[1], true, {{L"Mfg", L"Hub"}});
    AddDevice(L"USB\\VID_1209&PID_0001\\QVNOPARAMS", "", true, {{L"Mfg", L"No parameters"}});
    AddDevice(L"USB\\VID_1209&PID_0002\\QVDWORD", "", true);
    HKEY parameters = nullptr;
    const std::wstring dword =
        std::wstring(EnumRoot) + L"\\USB\\VID_1209&PID_0002\\QVDWORD\\Device Parameters";
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, dword.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &parameters, nullptr),
              ERROR_SUCCESS);
    const DWORD number = 3;
    RegSetValueExW(parameters, L"PortName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(parameters);

    EXPECT_EQ(Notes(), before);
    for (const std::string& name : added) {
        EXPECT_EQ(before.at(name).rfind("Eszköz: \\Device\\", 0), 0u) << before.at(name);
    }
}

} // namespace
} // namespace quorvel::win32test
