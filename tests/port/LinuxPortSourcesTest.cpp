// Linux port names from a fake sysfs tree, a fake /dev and a port folder.
#include "PortSources.h"
#include "Portthread.h"

#include "Pty.h"
#include "TestMainThread.h"

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvel::test {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class PortLinuxSources : public ::testing::Test {
  protected:
    PortLinuxSources() {
        Roots.SysfsTty = Tree / "class/tty";
        Roots.DeviceFolder = Tree / "dev";
        Roots.PortFolder = Tree / "ports";
        fs::create_directories(Roots.SysfsTty);
        fs::create_directories(Roots.DeviceFolder);
        fs::create_directories(Roots.PortFolder);
        fs::permissions(Roots.PortFolder, fs::perms::owner_all, fs::perm_options::replace);
        fs::create_directories(Tree / "drivers/serial8250");
        fs::create_directories(Tree / "drivers/ftdi_sio");
    }

    // A tty entry; driver empty: a device without a driver; type < 0: no type file.
    void AddTty(const std::string& name, bool hasDevice, const std::string& driver, int type) {
        const fs::path entry = fs::path(Roots.SysfsTty) / name;
        fs::create_directories(entry);
        if (hasDevice) {
            fs::create_directories(entry / "device");
            if (!driver.empty()) {
                fs::create_directory_symlink(Tree / ("drivers/" + driver), entry / "device/driver");
            }
        }
        if (type >= 0) {
            std::ofstream(entry / "type") << type << "\n";
        }
        std::ofstream(fs::path(Roots.DeviceFolder) / name) << "";
    }

    TTempFolder Tree;
    TPortRoots Roots;
};

TEST_F(PortLinuxSources, ListsDriverBackedPortsThatHaveAUart) {
    AddTty("ttyS0", true, "serial8250", 4);  // a 16550A
    AddTty("ttyS1", true, "serial8250", 0);  // slot without a UART
    AddTty("ttyS2", true, "serial8250", -1); // cannot be asked: kept
    AddTty("ttyUSB0", true, "ftdi_sio", -1); // USB serial, no type file
    AddTty("ttyACM0", true, "", -1);         // device without a driver
    AddTty("tty1", false, "", -1);           // virtual console
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"ttyS0", "ttyS2", "ttyUSB0"}));
}

TEST_F(PortLinuxSources, ListsRegisteredVirtualPortsWhoseTargetExists) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    RegisterLink(Roots.PortFolder, "GONE", Tree / "missing");
    std::ofstream(fs::path(Roots.PortFolder) / "plainfile") << "";
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"SIM"}));
}

// In /tmp another local user could create the folder first and plant links in it.
struct TFolderCase {
    const char* Title;
    fs::perms Mode;
};

void PrintTo(const TFolderCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortFolderTrust : public PortLinuxSources,
                        public ::testing::WithParamInterface<TFolderCase> {};

TEST_P(PortFolderTrust, FolderOthersMayWriteToIsIgnoredWithOneLine) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    fs::permissions(Roots.PortFolder, GetParam().Mode, fs::perm_options::replace);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(Roots.PortFolder), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

INSTANTIATE_TEST_SUITE_P(
    Port, PortFolderTrust,
    ::testing::Values(TFolderCase{"GroupWritable", fs::perms::owner_all | fs::perms::group_all},
                      TFolderCase{"OthersWritable", fs::perms::owner_all | fs::perms::others_all},
                      TFolderCase{"WorldWritableSticky", fs::perms::all | fs::perms::sticky_bit}),
    [](const auto& info) { return std::string(info.param.Title); });

TEST_F(PortLinuxSources, FolderThatIsALinkIsIgnored) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    const std::string real = Roots.PortFolder;
    Roots.PortFolder = Tree / "linked";
    fs::create_directory_symlink(real, Roots.PortFolder);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    ::testing::internal::GetCapturedStderr();
}

TEST_F(PortLinuxSources, FolderOfAnotherUserIsIgnored) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a folder to another user";
    }
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    ASSERT_EQ(::chown(Roots.PortFolder.c_str(), 65534, 65534), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    ::testing::internal::GetCapturedStderr();
}

TEST_F(PortLinuxSources, PrivateFolderInAStickyParentIsUsed) {
    TTempFolder shared;
    fs::permissions(shared.Path(), fs::perms::all | fs::perms::sticky_bit,
                    fs::perm_options::replace);
    std::ofstream(Tree / "target") << "";
    Roots.PortFolder = shared / "ports";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"SIM"}));
    fs::permissions(shared.Path(), fs::perms::all, fs::perm_options::replace); // not sticky
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    ::testing::internal::GetCapturedStderr();
}

// What tells two adapters apart: the USB device's strings and ids, as sysfs holds them.
TEST_F(PortLinuxSources, UsbSerialPortIsDescribedByItsUsbDevice) {
    const fs::path usb = Tree / "devices/usb1/1-1";
    const fs::path interface = usb / "1-1:1.0";
    fs::create_directories(interface);
    fs::create_directory_symlink(Tree / "drivers/ftdi_sio", interface / "driver");
    std::ofstream(usb / "manufacturer") << "FTDI\n";
    std::ofstream(usb / "product") << "FT232R USB UART\n";
    std::ofstream(usb / "serial") << "A50285BI\n";
    std::ofstream(usb / "idVendor") << "0403\n";
    std::ofstream(usb / "idProduct") << "6001\n";
    const fs::path entry = fs::path(Roots.SysfsTty) / "ttyUSB0";
    fs::create_directories(entry);
    fs::create_directory_symlink(interface, entry / "device");
    std::ofstream(fs::path(Roots.DeviceFolder) / "ttyUSB0") << "";
    AddTty("ttyS0", true, "serial8250", 4);

    const std::vector<TSerialPortInfo> ports = SystemSerialPorts(Roots);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].Name, "ttyS0");
    EXPECT_EQ(ports[0].Note, "Eszköz: " + Roots.DeviceFolder + "/ttyS0");
    EXPECT_EQ(ports[1].Name, "ttyUSB0");
    EXPECT_EQ(ports[1].Note, "Gyártó: FTDI\nTermék: FT232R USB UART\nSorozatszám: A50285BI\n"
                             "USB azonosító: 0403:6001\nEszköz: " +
                                 Roots.DeviceFolder + "/ttyUSB0");
}

TEST_F(PortLinuxSources, VirtualPortNamesTheDeviceItPointsTo) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    const std::vector<TSerialPortInfo> ports = SystemSerialPorts(Roots);
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].Note, "Virtuális port: " + (Tree / "target"));
}

TEST_F(PortLinuxSources, DeviceTheUserMayNotOpenNamesItsGroup) {
    const group* dialout = ::getgrnam("dialout");
    const unsigned gid = dialout != nullptr ? dialout->gr_gid : 0;
    const std::string name = dialout != nullptr ? "dialout" : ::getgrgid(0)->gr_name;
    const std::string note = NoPermissionNote(gid);
    EXPECT_NE(note.find("Nincs jogosultság"), std::string::npos) << note;
    EXPECT_NE(note.find(" " + name + " csoport"), std::string::npos) << note;
    std::ofstream(Tree / "mine") << "";
    EXPECT_EQ(AccessNote(Tree / "mine"), ""); // nothing stands in the way
}

TEST_F(PortLinuxSources, EveryEntryOfTheListCarriesANote) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    TTestMainThread main;
    TSettings settings;
    TPortEnvironment environment;
    environment.Roots = Roots;
    environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
    TPortThread port(settings, main.Calls(), environment);
    const std::vector<TPortEntry> listed = port.GetPortEntries();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].Name, "SIM");
    EXPECT_EQ(listed[0].Note, "Virtuális port: " + (Tree / "target"));
    fs::remove(fs::path(Roots.PortFolder) / "SIM"); // unplugged: the fallback names, noted
    const std::vector<TPortEntry> fallback = port.GetPortEntries();
    ASSERT_EQ(fallback.size(), 5u);
    for (const TPortEntry& entry : fallback) {
        EXPECT_FALSE(entry.Note.empty()) << entry.Name;
    }
}

TEST_F(PortLinuxSources, MissingRootsGiveNoNames) {
    TPortRoots nowhere{Tree / "none/tty", Tree / "none/dev", Tree / "none/ports"};
    EXPECT_TRUE(SystemSerialPortNames(nowhere).empty());
}

TEST_F(PortLinuxSources, BothKindsAreSortedTogetherBeforeTheAdapters) {
    AddTty("ttyUSB0", true, "ftdi_sio", -1);
    AddTty("ttyS0", true, "serial8250", 4);
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    RegisterLink(Roots.PortFolder, "alpha", Tree / "target");
    TTestMainThread main;
    TSettings settings;
    TPortEnvironment environment;
    environment.Roots = Roots;
    environment.AdapterCount = [] { return std::optional<std::uint32_t>(1); };
    TPortThread port(settings, main.Calls(), environment);
    EXPECT_EQ(port.GetPortList(), (Names{"alpha", "SIM", "ttyS0", "ttyUSB0", "USB1"}));
}

// How a name is opened: a path as it is, a registered name through its link, else under /dev.
class PortLinuxNames : public PortLinuxSources {
  protected:
    bool Opens(const std::string& name) {
        TTestMainThread main;
        TSettings settings;
        settings.Port = name;
        TPortEnvironment environment;
        environment.Roots = Roots;
        TPortThread port(settings, main.Calls(), environment);
        return port.Configure(ModeRTU, 19200);
    }
    TPty Pty;
};

TEST_F(PortLinuxNames, NameWithSlashIsAPath) {
    EXPECT_TRUE(Opens(Pty.SlavePath()));
}

TEST_F(PortLinuxNames, RegisteredNameOpensItsLinkTarget) {
    RegisterLink(Roots.PortFolder, "SIM", Pty.SlavePath());
    EXPECT_TRUE(Opens("SIM"));
}

TEST_F(PortLinuxNames, PlainNameOpensTheDeviceNode) {
    fs::create_symlink(Pty.SlavePath(), fs::path(Roots.DeviceFolder) / "ttyQ0");
    EXPECT_TRUE(Opens("ttyQ0"));
}

TEST_F(PortLinuxNames, RegisteredNameInAFolderOthersMayWriteToDoesNotOpen) {
    RegisterLink(Roots.PortFolder, "SIM", Pty.SlavePath());
    fs::permissions(Roots.PortFolder, fs::perms::owner_all | fs::perms::others_all,
                    fs::perm_options::replace);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(Opens("SIM"));
    ::testing::internal::GetCapturedStderr();
}

// The link's port is the kernel's device, whatever a virtual port of that name points at.
TEST_F(PortLinuxNames, VirtualPortNeverHidesADeviceOfTheSameName) {
    TPty planted;
    fs::create_symlink(Pty.SlavePath(), fs::path(Roots.DeviceFolder) / "ttyQ0");
    RegisterLink(Roots.PortFolder, "ttyQ0", planted.SlavePath());
    TTestMainThread main;
    TSettings settings;
    settings.Port = "ttyQ0";
    TPortEnvironment environment;
    environment.Roots = Roots;
    TPortThread port(settings, main.Calls(), environment);
    ASSERT_TRUE(port.Configure(ModeRTU, 19200));
    const std::uint8_t frame[] = {0x42};
    ASSERT_TRUE(port.WriteFrame(frame, 1));
    EXPECT_EQ(Pty.Read(1), ByteString{0x42});
    EXPECT_TRUE(planted.Read(1, std::chrono::milliseconds(100)).empty());
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"ttyQ0"})); // listed once
}

TEST_F(PortLinuxNames, UnknownEmptyAndNonTerminalNamesDoNotOpen) {
    std::ofstream(fs::path(Roots.DeviceFolder) / "ttyFILE") << "";
    EXPECT_FALSE(Opens("ttyNONE"));
    EXPECT_FALSE(Opens(""));
    EXPECT_FALSE(Opens("ttyFILE"));
    EXPECT_FALSE(Opens(".."));
}

} // namespace
} // namespace quorvel::test
