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

// The USB device a tty hangs off: the nearest folder above its device that has idVendor.
std::optional<fs::path> UsbDeviceOf(const fs::path& entry) {
    std::error_code error;
    fs::path at = fs::canonical(entry / "device", error);
    for (int depth = 0; !error && depth < 4 && at.has_relative_path(); ++depth) {
        if (fs::exists(at / "idVendor", error)) {
            return at;
        }
        at = at.parent_path();
    }
    return std::nullopt;
}

std::string KernelPortNote(const fs::path& entry, const fs::path& node) {
    std::string note;
    if (const std::optional<fs::path> usb = UsbDeviceOf(entry)) {
        note = UsbDeviceNote({FirstLine(*usb / "manufacturer"), FirstLine(*usb / "product"),
                              FirstLine(*usb / "serial"), FirstLine(*usb / "idVendor"),
                              FirstLine(*usb / "idProduct")});
    }
    AddNoteLine(note, "Eszköz: ", node.string());
    AddNoteLine(note, "", AccessNote(node.string()));
    return note;
}

void AddKernelPorts(const TPortRoots& roots, std::vector<TSerialPortInfo>& ports) {
    std::error_code error;
    for (fs::directory_iterator it(roots.SysfsTty, error), end; !error && it != end;
         it.increment(error)) {
        if (IsKernelSerialPort(it->path(), roots)) {
            const std::string name = it->path().filename().string();
            ports.push_back(
                {name, KernelPortNote(it->path(), fs::path(roots.DeviceFolder) / name)});
        }
    }
}

// A link whose target has gone (a simulator that ended) is not offered, nor anything in a folder
// that someone else could have planted.
void AddVirtualPorts(const TPortRoots& roots, std::vector<TSerialPortInfo>& ports) {
    const std::string folder = PortFolderOf(roots);
    if (!UsablePortFolder(folder)) {
        return;
    }
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code linkError;
        if (it->is_symlink(linkError) && fs::exists(it->path(), linkError)) {
            std::string note =
                "Virtuális port: " + fs::read_symlink(it->path(), linkError).string();
            AddNoteLine(note, "", AccessNote(it->path().string()));
            ports.push_back({it->path().filename().string(), note});
        }
    }
}

// A device node of that name wins over a registered virtual port of the same name.
std::string PathOfPort(const std::string& name, const TPortRoots& roots) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const fs::path device = fs::path(roots.DeviceFolder) / name;
    std::error_code error;
    if (fs::exists(device, error)) {
        return device.string();
    }
    const std::string folder = PortFolderOf(roots);
    const fs::path registered = fs::path(folder) / name;
    if (fs::is_symlink(registered, error) && UsablePortFolder(folder)) {
        return registered.string();
    }
    return device.string();
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

std::string NoPermissionNote(unsigned groupId) {
    const group* entry = ::getgrgid(static_cast<gid_t>(groupId));
    const std::string name = entry != nullptr ? entry->gr_name : std::to_string(groupId);
    return "Nincs jogosultság a megnyitásához: az eszköz a(z) " + name +
           " csoporté (a felhasználót fel kell venni ebbe a csoportba)";
}

std::unique_ptr<ISerialDevice> OpenSerialDevice(const std::string& name, const TPortRoots& roots) {
    if (name.empty() || name == "." || name == "..") {
        return nullptr;
    }
    const std::string path = PathOfPort(name, roots);
    // The registration the device was reached through is kept with it; one replaced while the
    // open ran leaves unknown which target was opened, so the open is done again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const TPathEntry entry = EntryOf(path);
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        if (!(EntryOf(path) == entry)) {
            ::close(fd);
            continue;
        }
        if (::isatty(fd) == 0) {
            ::close(fd); // only terminal devices carry a serial line
            return nullptr;
        }
        // The advisory lock other serial programs take and respect; TIOCEXCL alone does not
        // stop root, nor a program that opened the port before us.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<TPosixSerialDevice>(fd,
                                                    TPortOrigin{path, entry, IsPseudoTerminal(fd)});
    }
    return nullptr;
}

} // namespace quorvel
