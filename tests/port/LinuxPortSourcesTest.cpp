// Linux port names from a fake sysfs tree, a fake /dev and a port folder.
#include "PortSources.h"
#include "Portthread.h"

#include "Pty.h"
#include "TestMainThread.h"

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <map>
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

// A registration being made (.NAME.tmpPID, renamed into place when complete) or one a crash
// left half made is no port.
TEST_F(PortLinuxSources, DotNamesAreNoPorts) {
    std::ofstream(Tree / "target") << "";
    RegisterLink(Roots.PortFolder, "SIM", Tree / "target");
    RegisterLink(Roots.PortFolder, ".SIM.tmp4711", Tree / "target");
    RegisterLink(Roots.PortFolder, ".hidden", Tree / "target");
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"SIM"}));
}

// The folder is trusted through its parent, which a link could swap between the check and the
// use: a parent that is a link is not trusted.
TEST_F(PortLinuxSources, FolderWhoseParentIsALinkIsIgnored) {
    std::ofstream(Tree / "target") << "";
    const fs::path real = Tree / "real";
    RegisterLink((real / "ports").string(), "SIM", Tree / "target");
    fs::create_directory_symlink(real, Tree / "linked");
    Roots.PortFolder = Tree / "linked/ports";
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(SystemSerialPortNames(Roots).empty());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(Roots.PortFolder), std::string::npos) << said;
    Roots.PortFolder = (real / "ports").string();
    EXPECT_EQ(SystemSerialPortNames(Roots), (Names{"SIM"}));
}

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

// A USB serial adapter as sysfs shows it: the USB device in its socket (with its strings and
// ids), the interface, and the usb-serial port the tty belongs to; /dev/NAME leads to line.
class PortLinuxUsb : public PortLinuxSources {
  protected:
    void PlugUsb(const std::string& tty, const std::string& socket, const std::string& serial,
                 const std::string& line) {
        const fs::path usb = Tree / ("devices/usb1/" + socket);
        const fs::path port = usb / (socket + ":1.0") / tty;
        fs::create_directories(port);
        fs::create_directory_symlink(Tree / "drivers/ftdi_sio", port / "driver");
        std::ofstream(usb / "manufacturer") << "FTDI\n";
        std::ofstream(usb / "product") << "FT232R USB UART\n";
        if (!serial.empty()) {
            std::ofstream(usb / "serial") << serial << "\n";
        }
        std::ofstream(usb / "idVendor") << "0403\n";
        std::ofstream(usb / "idProduct") << "6001\n";
        const fs::path entry = fs::path(Roots.SysfsTty) / tty;
        fs::create_directories(entry);
        fs::create_directory_symlink(port, entry / "device");
        fs::create_symlink(line, fs::path(Roots.DeviceFolder) / tty);
    }
    void Pull(const std::string& tty, const std::string& socket) {
        fs::remove_all(fs::path(Roots.SysfsTty) / tty);
        fs::remove(fs::path(Roots.DeviceFolder) / tty);
        fs::remove_all(Tree / ("devices/usb1/" + socket));
    }
    // The link's surroundings: this tree, no adapter library.
    TPortEnvironment TreeOnly() const {
        TPortEnvironment environment;
        environment.Roots = Roots;
        environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
        return environment;
    }
};

TEST_F(PortLinuxUsb, AdaptersThatCannotBeToldApartSaySo) {
    PlugUsb("ttyUSB0", "1-1", "A50285BI", "/dev/null");
    PlugUsb("ttyUSB1", "1-2", "", "/dev/null");
    PlugUsb("ttyUSB2", "1-3", "CLONE", "/dev/null");
    PlugUsb("ttyUSB3", "1-4", "CLONE", "/dev/null");
    TTestMainThread main;
    TSettings settings;
    TPortThread port(settings, main.Calls(), TreeOnly());
    std::map<std::string, std::string> notes;
    for (const TPortEntry& entry : port.GetPortEntries()) {
        notes[entry.Name] = entry.Note;
    }
    EXPECT_EQ(notes["ttyUSB0"].find("USB-aljzat"), std::string::npos) << notes["ttyUSB0"];
    EXPECT_NE(notes["ttyUSB1"].find("Nincs sorozatszáma: kihúzás után csak ugyanabban az "
                                    "USB-aljzatban ismeri fel újra"),
              std::string::npos)
        << notes["ttyUSB1"];
    for (const char* clone : {"ttyUSB2", "ttyUSB3"}) {
        EXPECT_NE(notes[clone].find("A sorozatszáma egy másik csatlakoztatott adapterével "
                                    "azonos: kihúzás után csak ugyanabban az USB-aljzatban"),
                  std::string::npos)
            << notes[clone];
    }
}

// The kernel gives a returning adapter the first free number, and the number of a pulled one to
// whichever adapter comes next. The open link follows its adapter to its new number and never
// opens the one that took its old number.
struct TReplugCase {
    const char* Title;
    std::string Serial;         // of the adapter the link opens; may be empty
    std::string StrangerSerial; // of the one that takes its number
};

void PrintTo(const TReplugCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortLinuxRenumbering : public PortLinuxUsb,
                             public ::testing::WithParamInterface<TReplugCase> {};

TEST_P(PortLinuxRenumbering, LinkFollowsItsAdapterNotItsNumber) {
    TPty line;
    TPty strangerLine;
    PlugUsb("ttyUSB0", "1-1", GetParam().Serial, line.SlavePath());
    TTestMainThread main;
    TSettings settings;
    settings.Port = "ttyUSB0";
    TPortThread link(settings, main.Calls(), TreeOnly());
    ASSERT_TRUE(link.Configure(ModeRTU, 19200));

    Pull("ttyUSB0", "1-1");
    line.CloseMaster();
    ASSERT_TRUE(main.RunUntil([&] { return link.IsLinkLost(); }));
    PlugUsb("ttyUSB0", "1-2", GetParam().StrangerSerial, strangerLine.SlavePath());
    main.RunUntil([] { return false; },
                  std::chrono::milliseconds(3 * TPortThread::ReopenIntervalMs));
    EXPECT_TRUE(link.IsLinkLost()) << "the link opened the adapter that took its number";

    TPty back;
    PlugUsb("ttyUSB1", "1-1", GetParam().Serial, back.SlavePath());
    ASSERT_TRUE(main.RunUntil([&] { return !link.IsLinkLost(); }));
    EXPECT_EQ(link.GetPortName(), "ttyUSB1");
    const std::uint8_t frame[] = {0x01, 0x03};
    ASSERT_TRUE(link.WriteFrame(frame, 2));
    EXPECT_EQ(back.Read(2), (ByteString{0x01, 0x03}));
    EXPECT_TRUE(strangerLine.Read(1, std::chrono::milliseconds(50)).empty());
}

INSTANTIATE_TEST_SUITE_P(Port, PortLinuxRenumbering,
                         ::testing::Values(TReplugCase{"BySerialNumber", "A50285BI", "A7004XYZ"},
                                           TReplugCase{"BySocketWithoutSerialNumber", "", ""}),
                         [](const auto& info) { return std::string(info.param.Title); });

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
