#include "UsbRegistryWin32.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <optional>

namespace quorvel {

namespace {

// Enough for any device tree seen in practice; bounds the walk should the tree be odd.
constexpr int MaxKeysVisited = 20000;

class TKey {
  public:
    TKey(HKEY parent, const std::wstring& path) {
        if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &Handle) != ERROR_SUCCESS) {
            Handle = nullptr;
        }
    }
    ~TKey() {
        if (Handle != nullptr) {
            ::RegCloseKey(Handle);
        }
    }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;

    explicit operator bool() const { return Handle != nullptr; }
    HKEY Get() const { return Handle; }

    // Subkey number index; nullopt past the last.
    std::optional<std::wstring> SubkeyName(DWORD index) const {
        wchar_t name[256];
        DWORD size = static_cast<DWORD>(std::size(name));
        if (::RegEnumKeyExW(Handle, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::wstring(name, size);
    }

    // A REG_SZ value; empty when absent, of another type or not readable.
    std::wstring Text(const wchar_t* value) const {
        wchar_t data[512];
        DWORD type = 0;
        DWORD size = sizeof(data);
        if (::RegQueryValueExW(Handle, value, nullptr, &type, reinterpret_cast<BYTE*>(data),
                               &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return {};
        }
        std::wstring text(data, size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        return text;
    }

  private:
    HKEY Handle = nullptr;
};

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                          nullptr, nullptr);
    return utf8;
}

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

// ERROR_SUCCESS when the key exists and opens; the key is closed again.
LONG OpenResult(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    const LONG result = ::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key);
    if (result == ERROR_SUCCESS) {
        ::RegCloseKey(key);
    }
    return result;
}

struct TWanted {
    std::string Port;  // as the caller named it
    std::wstring Name; // upper case, for the comparison
    bool Present = false;
    std::optional<TUsbDeviceFacts> Device;
};

// Makers and products as the instance key names them; the product from DeviceDesc, else from
// FriendlyName (which usually repeats it with the COM name).
void ReadDescriptions(const TKey& instance, TUsbDeviceFacts& device) {
    device.Maker = RegistryDisplayText(Utf8(instance.Text(L"Mfg")));
    device.Product = RegistryDisplayText(Utf8(instance.Text(L"DeviceDesc")));
    if (device.Product.empty()) {
        device.Product = RegistryDisplayText(Utf8(instance.Text(L"FriendlyName")));
    }
}

class TWalk {
  public:
    explicit TWalk(std::vector<TWanted>& wanted) : Wanted(wanted) {}

    // False once every port has a device that is present, or the walk has gone on too long.
    bool Branch(HKEY enumRoot, const std::wstring& enumerator) {
        const TKey branch(enumRoot, enumerator);
        for (DWORD i = 0; branch && GoOn(); ++i) {
            const std::optional<std::wstring> device = branch.SubkeyName(i);
            if (!device) {
                break;
            }
            if (Upper(device->substr(0, 4)) == L"VID_") { // root hubs and the like are passed over
                Device(branch, enumerator, *device);
            }
        }
        return GoOn();
    }

  private:
    bool GoOn() const {
        return Visited < MaxKeysVisited && std::any_of(Wanted.begin(), Wanted.end(),
                                                       [](const TWanted& w) { return !w.Present; });
    }

    void Device(const TKey& branch, const std::wstring& enumerator, const std::wstring& name) {
        const TKey device(branch.Get(), name);
        for (DWORD i = 0; device && GoOn(); ++i) {
            const std::optional<std::wstring> instance = device.SubkeyName(i);
            if (!instance) {
                break;
            }
            ++Visited;
            Instance(device, *instance, enumerator + L"\\" + name + L"\\" + *instance);
            if (Found && Found->Serial.empty()) {
                Found->Serial = CompositeParentSerial(branch, enumerator, name, *instance);
            }
            Found = nullptr;
        }
    }

    // One interface of a composite device has an instance that Windows made from its parent's
    // ParentIdPrefix; the parent's instance may be the serial number.
    std::string CompositeParentSerial(const TKey& branch, const std::wstring& enumerator,
                                      const std::wstring& composite, const std::wstring& instance) {
        const std::size_t mark = Upper(composite).find(L"&MI_");
        if (mark == std::wstring::npos) {
            return {};
        }
        const std::wstring parentName = composite.substr(0, mark);
        const TKey parent(branch.Get(), parentName);
        const std::wstring madeUp = Upper(instance);
        for (DWORD i = 0; parent && Visited < MaxKeysVisited; ++i) {
            const std::optional<std::wstring> name = parent.SubkeyName(i);
            if (!name) {
                break;
            }
            ++Visited;
            const std::wstring prefix = Upper(TKey(parent.Get(), *name).Text(L"ParentIdPrefix"));
            if (!prefix.empty() && madeUp.rfind(prefix + L"&", 0) == 0) {
                const std::optional<TUsbDeviceFacts> device =
                    UsbIdsOfInstancePath(Utf8(enumerator + L"\\" + parentName + L"\\" + *name));
                return device ? device->Serial : std::string();
            }
        }
        return {};
    }

    // A device that was once plugged in keeps its key; only one that is present has the
    // volatile Control subkey. A present device wins over an absent one of the same port name.
    void Instance(const TKey& device, const std::wstring& name, const std::wstring& path) {
        const TKey parameters(device.Get(), name + L"\\Device Parameters");
        if (!parameters) {
            return;
        }
        const std::wstring port = Upper(parameters.Text(L"PortName"));
        const auto match = std::find_if(Wanted.begin(), Wanted.end(), [&](const TWanted& w) {
            return !w.Present && !port.empty() && w.Name == port;
        });
        if (match == Wanted.end()) {
            return;
        }
        const LONG control = OpenResult(device.Get(), name + L"\\Control");
        const bool present = control == ERROR_SUCCESS || control == ERROR_ACCESS_DENIED;
        if (match->Device && !present) {
            return; // an absent device already stands in; the first one found stays
        }
        std::optional<TUsbDeviceFacts> facts = UsbIdsOfInstancePath(Utf8(path));
        if (!facts) {
            return;
        }
        const TKey instance(device.Get(), name);
        if (instance) {
            ReadDescriptions(instance, *facts);
        }
        match->Device = std::move(facts);
        match->Present = present;
        Found = &*match->Device;
    }

    std::vector<TWanted>& Wanted;
    TUsbDeviceFacts* Found = nullptr; // the device the last instance gave a port
    int Visited = 0;
};

} // namespace

// Read access to the device tree is granted to every user.
std::map<std::string, TUsbDeviceFacts> UsbDevicesOfPorts(const std::vector<std::string>& ports) {
    std::vector<TWanted> wanted;
    for (const std::string& port : ports) {
        std::wstring name(port.begin(), port.end()); // COM names are plain ASCII
        wanted.push_back({port, Upper(name), false, std::nullopt});
    }
    std::map<std::string, TUsbDeviceFacts> devices;
    if (wanted.empty()) {
        return devices;
    }
    const TKey enumRoot(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum");
    if (enumRoot) {
        TWalk walk(wanted);
        if (walk.Branch(enumRoot.Get(), L"USB")) {
            walk.Branch(enumRoot.Get(), L"FTDIBUS");
        }
    }
    for (TWanted& w : wanted) {
        if (w.Device) {
            devices.emplace(w.Port, std::move(*w.Device));
        }
    }
    return devices;
}

} // namespace quorvel
