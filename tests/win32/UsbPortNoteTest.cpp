// Under Wine: the port list's notes for USB serial devices, as SetupAPI lists the devices of the
// Ports class. The test registers them through SetupAPI itself (a CH340-like adapter on the
// lane's COM port, an FTDI adapter on its split COM port, odd devices) and removes them at the
// end. Wine lists every registered device as present and has no parent links (CM_Get_Parent
// fails), so a composite device's parent is played through this executable's import of the
// CM_ functions.
#include "ImportHook.h"
#include "LinkFixture.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace quorvel::win32test {
namespace {

// GUID_DEVCLASS_PORTS.
constexpr GUID PortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const wchar_t* const Ch340 = L"USB\\VID_1A86&PID_7523\\QVTEST0001";
const wchar_t* const Ftdi = L"FTDIBUS\\VID_0403+PID_6001+QV285BIA\\0000";
const wchar_t* const Interface = L"USB\\VID_2341&PID_8036&MI_00\\6&QV5F1B2&0&0000";

struct TDevice {
    std::wstring Id;
    std::string Port; // PortName among its device parameters; none when empty
    std::vector<std::pair<DWORD, std::wstring>> Texts{};
    std::optional<DWORD> LatencyTimer{};
};

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // COM names are plain ASCII
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) {
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

// What the device tree of a real PC gives: the interface of a composite device hangs off the
// device itself, whose instance is the serial number.
struct TCompositeParent {
    static inline const DEVINST Parent = 0x51A7E;
    static inline std::wstring ParentId;
    static inline CONFIGRET(WINAPI* RealParent)(PDEVINST, DEVINST, ULONG) = nullptr;
    static inline CONFIGRET(WINAPI* RealId)(DEVINST, PWSTR, ULONG, ULONG) = nullptr;

    static CONFIGRET WINAPI GetParent(PDEVINST parent, DEVINST device, ULONG flags) {
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (!ParentId.empty() && RealId(device, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS &&
            Upper(id) == Upper(Interface)) {
            *parent = Parent;
            return CR_SUCCESS;
        }
        return RealParent(parent, device, flags);
    }
    static CONFIGRET WINAPI GetId(DEVINST device, PWSTR buffer, ULONG length, ULONG flags) {
        if (device != Parent) {
            return RealId(device, buffer, length, flags);
        }
        if (length <= ParentId.size()) {
            return CR_BUFFER_SMALL;
        }
        std::copy(ParentId.begin(), ParentId.end(), buffer);
        buffer[ParentId.size()] = L'\0';
        return CR_SUCCESS;
    }
};

// Every key this executable itself opens through advapi32.
struct TOpenedKeys {
    static inline std::vector<std::wstring> Paths;
    static inline LONG(WINAPI* RealW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) = nullptr;
    static inline LONG(WINAPI* RealA)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) = nullptr;

    static LONG WINAPI OpenW(HKEY parent, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
        Paths.push_back(path != nullptr ? path : L"");
        return RealW(parent, path, options, access, key);
    }
    static LONG WINAPI OpenA(HKEY parent, LPCSTR path, DWORD options, REGSAM access, PHKEY key) {
        const std::string narrow = path != nullptr ? path : "";
        Paths.push_back(Wide(narrow));
        return RealA(parent, path, options, access, key);
    }
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
        RemoveDevices(); // what a run that crashed may have left
    }
    void TearDown() override { RemoveDevices(); }

    void AddDevice(const TDevice& device) {
        HDEVINFO set = SetupDiCreateDeviceInfoList(&PortsClass, nullptr);
        ASSERT_NE(set, INVALID_HANDLE_VALUE);
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        const bool made = SetupDiCreateDeviceInfoW(set, device.Id.c_str(), &PortsClass, nullptr,
                                                   nullptr, 0, &data) &&
                          SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr);
        EXPECT_TRUE(made) << GetLastError();
        for (const auto& [property, text] : device.Texts) {
            EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyW(
                set, &data, property, reinterpret_cast<const BYTE*>(text.c_str()),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
        }
        HKEY parameters =
            SetupDiCreateDevRegKeyW(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        EXPECT_NE(parameters, INVALID_HANDLE_VALUE);
        if (parameters != INVALID_HANDLE_VALUE) {
            if (!device.Port.empty()) {
                SetText(parameters, L"PortName", Wide(device.Port));
            }
            if (device.LatencyTimer) {
                RegSetValueExW(parameters, L"LatencyTimer", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&*device.LatencyTimer), sizeof(DWORD));
            }
            RegCloseKey(parameters);
        }
        SetupDiDestroyDeviceInfoList(set);
    }

    static void SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
        EXPECT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    // The devices these tests register (all have QV in their instance), whatever left them.
    static void RemoveDevices() {
        HDEVINFO set = SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, 0);
        if (set == INVALID_HANDLE_VALUE) {
            return;
        }
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data);) {
            wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
            SetupDiGetDeviceInstanceIdW(set, &data, id, MAX_DEVICE_ID_LEN, nullptr);
            if (Upper(id).find(L"QV") != std::wstring::npos && SetupDiRemoveDevice(set, &data)) {
                continue; // the next device now has this index
            }
            ++index;
        }
        SetupDiDestroyDeviceInfoList(set);
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

    std::string FtdiPort;
};

// The USB lines come first, then the device object the serial map names.
void ExpectNote(const std::string& note, const std::string& usbLines) {
    EXPECT_EQ(note.substr(0, usbLines.size()), usbLines) << note;
    EXPECT_EQ(note.find("\nEszköz: \\Device\\"), usbLines.size()) << note;
}

TEST_F(WineUsbPortNotes, NameMakerProductSerialAndIdsOfEachAdapter) {
    AddDevice({Ch340,
               ComPort,
               {{SPDRP_MFG, L"@oem12.inf,%wch.mfg%;Példa Művek"},
                {SPDRP_DEVICEDESC, L"@oem12.inf,%ch340.devicedesc%;USB-SERIAL CH340"},
                {SPDRP_FRIENDLYNAME, L"USB-SERIAL CH340 (" + Wide(ComPort) + L")"}}});
    AddDevice({Ftdi,
               FtdiPort,
               {{SPDRP_MFG, L"FTDI"}, {SPDRP_FRIENDLYNAME, L"USB Serial Port"}},
               DWORD{2}});
    const std::map<std::string, std::string> notes = Notes();
    ASSERT_EQ(notes.count(ComPort), 1u);
    ASSERT_EQ(notes.count(FtdiPort), 1u);
    ExpectNote(notes.at(ComPort), "Gyártó: Példa Művek\nTermék: USB-SERIAL CH340\n"
                                  "Sorozatszám: QVTEST0001\nUSB azonosító: 1a86:7523");
    ExpectNote(notes.at(FtdiPort), "Gyártó: FTDI\nTermék: USB Serial Port\n"
                                   "Sorozatszám: QV285BI\nUSB azonosító: 0403:6001");
}

// FTDI's driver holds short replies back by its latency timer (16 ms unless changed).
TEST_F(WineUsbPortNotes, FtdiLatencyTimerAboveTwoMsSaysWhatToDo) {
    AddDevice({Ftdi, FtdiPort, {{SPDRP_MFG, L"FTDI"}}, DWORD{16}});
    AddDevice({Ch340, ComPort, {{SPDRP_MFG, L"wch.cn"}}, DWORD{16}}); // not FTDI's setting

    const std::map<std::string, std::string> notes = Notes();

    const std::string& ftdi = notes.at(FtdiPort);
    EXPECT_NE(ftdi.find("\nKésleltetési időzítő: 16 ms"), std::string::npos) << ftdi;
    EXPECT_NE(ftdi.find("„USB…”"), std::string::npos) << ftdi;
    EXPECT_NE(ftdi.find("Eszközkezelő → "), std::string::npos) << ftdi;
    EXPECT_EQ(notes.at(ComPort).find("Késleltetési"), std::string::npos) << notes.at(ComPort);
}

// Names compare ignoring case; a made-up instance carries no serial number of its own.
TEST_F(WineUsbPortNotes, CompositeDeviceInterfaceWithoutParentHasNoSerialNumber) {
    const std::string lower = AddedSerialMapNames()[2]; // com3
    AddDevice({Interface, "COM3", {{SPDRP_DEVICEDESC, L"@usbser.inf,%usbser.devicedesc%"}}});
    ExpectNote(Notes()[lower], "USB azonosító: 2341:8036");
}

TEST_F(WineUsbPortNotes, CompositeDeviceInterfaceTakesItsParentsSerialNumber) {
    TImportHook parentHook{"cfgmgr32.dll", "CM_Get_Parent",
                           reinterpret_cast<void*>(&TCompositeParent::GetParent)};
    TImportHook idHook{"cfgmgr32.dll", "CM_Get_Device_IDW",
                       reinterpret_cast<void*>(&TCompositeParent::GetId)};
    TCompositeParent::RealParent =
        reinterpret_cast<decltype(TCompositeParent::RealParent)>(parentHook.Original());
    TCompositeParent::RealId =
        reinterpret_cast<decltype(TCompositeParent::RealId)>(idHook.Original());
    ASSERT_NE(TCompositeParent::RealParent, nullptr) << "CM_Get_Parent is not imported";
    ASSERT_NE(TCompositeParent::RealId, nullptr) << "CM_Get_Device_IDW is not imported";
    const std::string lower = AddedSerialMapNames()[2];
    AddDevice({Interface, "COM3", {{SPDRP_DEVICEDESC, L"Arduino Leonardo"}}});

    TCompositeParent::ParentId = L"USB\\VID_2341&PID_8036\\QVPARENT01";
    const std::string note = Notes()[lower];
    TCompositeParent::ParentId = L"USB\\ROOT_HUB30\\4&QVHUB&0&0"; // not the device itself
    const std::string hubNote = Notes()[lower];
    TCompositeParent::ParentId.clear();

    ExpectNote(note, "Termék: Arduino Leonardo\nSorozatszám: QVPARENT01\n"
                     "USB azonosító: 2341:8036");
    ExpectNote(hubNote, "Termék: Arduino Leonardo\nUSB azonosító: 2341:8036");
}

TEST_F(WineUsbPortNotes, OddDevicesLeaveTheListAndItsOtherNotesAlone) {
    const std::vector<std::string> added = AddedSerialMapNames(); // COM10, COM2, com3
    const std::map<std::string, std::string> before = Notes();
    AddDevice({L"USB\\VID_XYZ&PID_1\\QVODD001", added[0], {{SPDRP_MFG, L"Odd"}}});
    AddDevice({L"USB\\ROOT_HUB30\\4&QVHUB&0&0", added[1], {{SPDRP_MFG, L"Hub"}}});
    AddDevice({L"ACPI\\PNP0501\\QVBUILTIN", "COM3", {{SPDRP_MFG, L"(Standard port types)"}}});
    AddDevice({L"USB\\VID_1209&PID_0001\\QVNOPARAMS", "", {{SPDRP_MFG, L"No parameters"}}});
    AddDevice({L"USB\\VID_1209&PID_0002\\QVDWORD", ""});
    HDEVINFO set = SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, 0);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(set, L"USB\\VID_1209&PID_0002\\QVDWORD", nullptr, 0, &data));
    HKEY parameters =
        SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_SET_VALUE);
    ASSERT_NE(parameters, INVALID_HANDLE_VALUE);
    const DWORD number = 3;
    RegSetValueExW(parameters, L"PortName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(parameters);
    SetupDiDestroyDeviceInfoList(set);

    EXPECT_EQ(Notes(), before);
    for (const std::string& name : added) {
        EXPECT_EQ(before.at(name).rfind("Eszköz: \\Device\\", 0), 0u) << before.at(name);
    }
}

// The device tree's keys are the system's: the list is read without opening any of them.
TEST_F(WineUsbPortNotes, TheDeviceTreeIsNotOpenedDirectly) {
    TImportHook wideHook{"advapi32.dll", "RegOpenKeyExW",
                         reinterpret_cast<void*>(&TOpenedKeys::OpenW)};
    TImportHook narrowHook{"advapi32.dll", "RegOpenKeyExA",
                           reinterpret_cast<void*>(&TOpenedKeys::OpenA)};
    TOpenedKeys::RealW = reinterpret_cast<decltype(TOpenedKeys::RealW)>(wideHook.Original());
    TOpenedKeys::RealA = reinterpret_cast<decltype(TOpenedKeys::RealA)>(narrowHook.Original());
    ASSERT_TRUE(TOpenedKeys::RealW != nullptr || TOpenedKeys::RealA != nullptr);
    AddDevice({Ch340, ComPort, {{SPDRP_MFG, L"wch.cn"}}});
    TOpenedKeys::Paths.clear();

    const std::string note = Notes()[ComPort];

    ExpectNote(note, "Gyártó: wch.cn\nSorozatszám: QVTEST0001\nUSB azonosító: 1a86:7523");
    ASSERT_FALSE(TOpenedKeys::Paths.empty()) << "the serial device map is opened here too";
    for (const std::wstring& path : TOpenedKeys::Paths) {
        EXPECT_EQ(Upper(path).find(L"ENUM"), std::wstring::npos) << Narrow(path);
    }
}

} // namespace
} // namespace quorvel::win32test
