// Linux port sources: kernel serial devices from sysfs, virtual ports registered as symbolic links
// in the port folder, and the mapping of a port name to the path that is opened.
#include "PortSources.h"

#include "PortFolder.h"
#include "PortOrigin.h"
#include "SerialDevicePosix.h"
#include "UsbDeviceNote.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <linux/serial.h>
#include <optional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string PortFolderOf(const TPortRoots& roots) {
    return roots.PortFolder.empty() ? VirtualPortFolder() : roots.PortFolder;
}

// UART type the kernel reports for a serial-core port; nullopt when there is no type file.
std::optional<int> UartTypeFile(const fs::path& entry) {
    std::ifstream file(entry / "type");
    int type = 0;
    if (!(file >> type)) {
        return std::nullopt;
    }
    return type;
}

// An 8250 slot without a UART behind it answers PORT_UNKNOWN; a port that cannot be asked stays.
bool DeviceReportsNoUart(const fs::path& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct serial{};
    const bool unknown = ::ioctl(fd, TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN;
    ::close(fd);
    return unknown;
}

bool IsKernelSerialPort(const fs::path& entry, const TPortRoots& roots) {
    std::error_code error;
    const fs::path driver = entry / "device" / "driver";
    if (!fs::exists(driver, error)) {
        return false; // virtual consoles, ptys and the like have no driver-backed device
    }
    const std::optional<int> type = UartTypeFile(entry);
    if (type) {
        return *type != PORT_UNKNOWN;
    }
    const std::string driverName = fs::read_symlink(driver, error).filename().string();
    if (driverName.find("8250") != std::string::npos) {
        return !DeviceReportsNoUart(fs::path(roots.DeviceFolder) / entry.filename());
    }
    return true;
}

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The USB device a tty hangs off: the nearest folder above its device that has idVendor, and the
// interface folder below it on the way ("1-1:1.0").
struct TUsbPlace {
    fs::path Device;
    std::string Interface;
};

std::optional<TUsbPlace> UsbPlaceOf(const fs::path& entry) {
    std::error_code error;
    fs::path at = fs::canonical(entry / "device", error);
    fs::path below;
    for (int depth = 0; !error && depth < 4 && at.has_relative_path(); ++depth) {
        if (fs::exists(at / "idVendor", error)) {
            return TUsbPlace{at, below.filename().string()};
        }
        below = at;
        at = at.parent_path();
    }
    return std::nullopt;
}

// "1-1:1.0" names configuration 1, interface 0 of device 1-1.
std::string InterfaceNumber(const std::string& folder) {
    const auto colon = folder.rfind(':');
    return colon == std::string::npos ? std::string() : folder.substr(colon + 1);
}

void DescribeKernelPort(const fs::path& entry, const fs::path& node, TSerialPortInfo& port) {
    if (const std::optional<TUsbPlace> usb = UsbPlaceOf(entry)) {
        const TUsbDeviceFacts facts{
            FirstLine(usb->Device / "manufacturer"), FirstLine(usb->Device / "product"),
            FirstLine(usb->Device / "serial"), FirstLine(usb->Device / "idVendor"),
            FirstLine(usb->Device / "idProduct")};
        port.Note = UsbDeviceNote(facts);
        port.Identity = {true,
                         facts.Serial,
                         facts.VendorId,
                         facts.ProductId,
                         InterfaceNumber(usb->Interface),
                         usb->Device.string()};
    }
    AddNoteLine(port.Note, "Eszköz: ", node.string());
    AddNoteLine(port.Note, "", AccessNote(node.string()));
}

void AddKernelPorts(const TPortRoots& roots, std::vector<TSerialPortInfo>& ports) {
    std::error_code error;
    for (fs::directory_iterator it(roots.SysfsTty, error), end; !error && it != end;
         it.increment(error)) {
        if (IsKernelSerialPort(it->path(), roots)) {
            TSerialPortInfo port{it->path().filename().string(), {}};
            DescribeKernelPort(it->path(), fs::path(roots.DeviceFolder) / port.Name, port);
            ports.push_back(std::move(port));
        }
    }
}

// A link whose target has gone (a simulator that ended) is not offered, nor anything in a folder
// that someone else could have planted.
void AddVirtualPorts(const TPortRoots& roots, std::vector<TSerialPortInfo>& ports) {
    const std::unique_ptr<TPortFolder> folder = TPortFolder::Open(PortFolderOf(roots));
    if (!folder) {
        return;
    }
    for (const TRegisteredPort& registered : folder->List()) {
        std::string note = "Virtuális port: " + registered.Target;
        AddNoteLine(note, "", folder->AccessNote(registered.Name));
        ports.push_back({registered.Name, note});
    }
}

// A terminal device just opened as fd: only terminals carry a serial line. The advisory lock
// other serial programs take and respect; TIOCEXCL alone does not stop root, nor a program that
// opened the port before us.
std::unique_ptr<ISerialDevice> TakeTerminal(int fd, TPortOrigin origin) {
    if (::isatty(fd) == 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    origin.Pty = IsPseudoTerminal(fd);
    return std::make_unique<TPosixSerialDevice>(fd, std::move(origin));
}

constexpr int PortOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
constexpr int OpenAttempts = 3;

// The registration the device was reached through is kept with it; one replaced while the open
// ran leaves unknown which target was opened, so the open is done again.
std::unique_ptr<ISerialDevice> OpenRegistered(const TPortFolder& folder, const std::string& name) {
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        const TPathEntry entry = folder.Entry(name);
        const int fd = folder.OpenPort(name, PortOpenFlags);
        if (fd < 0) {
            return nullptr;
        }
        if (folder.Entry(name) == entry) {
            return TakeTerminal(fd,
                                {folder.Path() + "/" + name, entry, false, folder.Path(), name});
        }
        ::close(fd);
    }
    return nullptr;
}

std::unique_ptr<ISerialDevice> OpenPath(const std::string& path) {
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        const TPathEntry entry = EntryOf(path);
        const int fd = ::open(path.c_str(), PortOpenFlags);
        if (fd < 0) {
            return nullptr;
        }
        if (EntryOf(path) == entry) {
            return TakeTerminal(fd, {path, entry});
        }
        ::close(fd);
    }
    return nullptr;
}

} // namespace

// A kernel device comes first, so a virtual port of the same name never hides it.
std::vector<TSerialPortInfo> SystemSerialPorts(const TPortRoots& roots) {
    std::vector<TSerialPortInfo> ports;
    AddKernelPorts(roots, ports);
    AddVirtualPorts(roots, ports);
    const auto byName = [](const TSerialPortInfo& a, const TSerialPortInfo& b) {
        return a.Name < b.Name;
    };
    std::stable_sort(ports.begin(), ports.end(), byName);
    const auto sameName = [](const TSerialPortInfo& a, const TSerialPortInfo& b) {
        return a.Name == b.Name;
    };
    ports.erase(std::unique(ports.begin(), ports.end(), sameName), ports.end());
    return ports;
}

std::string AccessNote(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES) {
        return {};
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return NoPermissionNote(info.st_gid);
}

// getgrgid_r: the port thread reads the list too, while it looks for a device that vanished.
std::string NoPermissionNote(unsigned groupId) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    ::getgrgid_r(static_cast<gid_t>(groupId), &entry, buffer.data(), buffer.size(), &found);
    const std::string name = found != nullptr ? found->gr_name : std::to_string(groupId);
    return "Nincs jogosultság a megnyitásához: az eszköz a(z) " + name +
           " csoporté (a felhasználót fel kell venni ebbe a csoportba)";
}

// A name with '/' is a path; a device node of that name wins over a registered virtual port of
// the same name.
std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, const TPortRoots& roots) {
    if (name.empty() || name == "." || name == "..") {
        return nullptr;
    }
    if (name.find('/') != std::string::npos) {
        return OpenPath(name);
    }
    const fs::path device = fs::path(roots.DeviceFolder) / name;
    std::error_code error;
    if (!fs::exists(device, error)) {
        const std::unique_ptr<TPortFolder> folder = TPortFolder::Open(PortFolderOf(roots));
        if (folder && folder->Entry(name).Link) {
            return OpenRegistered(*folder, name);
        }
    }
    return OpenPath(device.string());
}

} // namespace quorvel
