// Implements the D2XX functions the console uses over terminal devices (ptys in tests).
#include "FakeFtd2xx.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Status = std::uint32_t;
using Clock = std::chrono::steady_clock;
constexpr Status Ok = 0;
constexpr Status InvalidHandle = 1;
constexpr Status DeviceNotFound = 2;
constexpr Status DeviceNotOpened = 3;
constexpr Status IoError = 4;
constexpr Status InvalidParameter = 6;
constexpr std::uint32_t ListNumberOnly = 0x80000000u;
constexpr std::uint32_t ListByIndex = 0x40000000u;
constexpr std::uint32_t BySerialNumber = 1;
constexpr std::uint32_t ByDescription = 2;
constexpr std::uint32_t PurgeRx = 1;
constexpr std::uint32_t PurgeTx = 2;
constexpr double BitsPerCharacter = 11;

struct Plugged {
    std::string Serial;
    std::string Path;
    std::string Plug;
    bool operator==(const Plugged& other) const {
        return Serial == other.Serial && Path == other.Path && Plug == other.Plug;
    }
};

struct Adapter {
    Plugged Entry;
    int Fd;
    std::deque<std::uint8_t> Tx; // written, not yet on the line
    Clock::time_point TxStart{}; // when the first byte of Tx started going out
};

std::mutex Guard;
std::optional<std::string> SetList;
std::map<std::string, FakeFtSettings> Recorded;
std::set<Adapter*> Live;
FakeFtCounts Counts{};
int QueueFailures = 0; // the next this many queue queries fail

std::vector<Plugged> PluggedNow() {
    std::string text;
    if (SetList) {
        text = *SetList;
    } else if (const char* file = std::getenv("QUORVEL_FAKE_FTDI_LIST")) {
        std::ifstream in(file);
        std::stringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    std::vector<Plugged> plugged;
    std::istringstream words(text);
    std::string word;
    while (words >> word) {
        const auto first = word.find('@');
        const auto second = word.find('@', first == std::string::npos ? first : first + 1);
        if (first == std::string::npos) {
            continue;
        }
        plugged.push_back({word.substr(0, first), word.substr(first + 1, second - first - 1),
                           second == std::string::npos ? "" : word.substr(second + 1)});
    }
    return plugged;
}

// Null for a handle that is closed, or whose adapter has been pulled since it was opened.
Adapter* LiveAdapter(void* handle) {
    auto* adapter = static_cast<Adapter*>(handle);
    if (Live.count(adapter) == 0) {
        return nullptr;
    }
    const std::vector<Plugged> plugged = PluggedNow();
    return std::find(plugged.begin(), plugged.end(), adapter->Entry) != plugged.end() ? adapter
                                                                                      : nullptr;
}

Clock::duration CharacterTime(const Adapter& adapter) {
    const std::uint32_t baud = Recorded[adapter.Entry.Serial].BaudRate;
    if (baud == 0) {
        return Clock::duration::zero();
    }
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(BitsPerCharacter / baud));
}

// What the line has sent by now reaches the far end.
void Transmit(Adapter& adapter) {
    const Clock::duration character = CharacterTime(adapter);
    std::size_t due = adapter.Tx.size();
    if (character > Clock::duration::zero()) {
        due = std::min<std::size_t>(due, (Clock::now() - adapter.TxStart) / character);
    }
    std::vector<std::uint8_t> out(adapter.Tx.begin(), adapter.Tx.begin() + due);
    const ssize_t n = out.empty() ? 0 : ::write(adapter.Fd, out.data(), out.size());
    const std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
    adapter.Tx.erase(adapter.Tx.begin(), adapter.Tx.begin() + sent);
    adapter.TxStart += character * sent;
}

bool OpenedNow(const Plugged& entry) {
    return std::any_of(Live.begin(), Live.end(),
                       [&](const Adapter* adapter) { return adapter->Entry == entry; });
}

Status Open(const Plugged& entry, void** handle) {
    if (OpenedNow(entry)) {
        return DeviceNotOpened;
    }
    const int fd = ::open(entry.Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return DeviceNotOpened;
    }
    termios raw{};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    auto* adapter = new Adapter{entry, fd, {}, {}};
    Live.insert(adapter);
    Recorded[entry.Serial].Opens++;
    *handle = adapter;
    return Ok;
}

// Runs change on handle's adapter under the guard; a pulled adapter's handle answers IoError.
template <typename Change> Status OnLive(void* handle, Change change) {
    std::lock_guard<std::mutex> lock(Guard);
    Adapter* adapter = LiveAdapter(handle);
    if (adapter == nullptr) {
        return IoError;
    }
    Transmit(*adapter);
    return change(*adapter);
}

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

} // namespace

FAKE_EXPORT Status FT_Open(int index, void** handle) {
    std::lock_guard<std::mutex> lock(Guard);
    ++Counts.OpenByNumber;
    const std::vector<Plugged> plugged = PluggedNow();
    if (index < 0 || static_cast<std::size_t>(index) >= plugged.size()) {
        return DeviceNotFound;
    }
    return Open(plugged[static_cast<std::size_t>(index)], handle);
}

FAKE_EXPORT Status FT_OpenEx(void* arg, std::uint32_t flags, void** handle) {
    std::lock_guard<std::mutex> lock(Guard);
    ++Counts.OpenBySerial;
    if (flags != BySerialNumber || arg == nullptr) {
        return InvalidParameter;
    }
    const std::string serial = static_cast<const char*>(arg);
    for (const Plugged& entry : PluggedNow()) {
        if (entry.Serial == serial) {
            return Open(entry, handle);
        }
    }
    return DeviceNotFound;
}

// A pulled adapter's handle is freed all the same: a second close would be a use after free.
FAKE_EXPORT Status FT_Close(void* handle) {
    std::lock_guard<std::mutex> lock(Guard);
    auto* adapter = static_cast<Adapter*>(handle);
    if (Live.count(adapter) == 0) {
        ++Counts.DoubleCloses;
        return InvalidHandle;
    }
    ++Counts.Closes;
    const bool pulled = LiveAdapter(handle) == nullptr;
    if (!pulled) {
        Transmit(*adapter);
    }
    Counts.BytesDropped += static_cast<std::uint32_t>(adapter->Tx.size());
    ::close(adapter->Fd);
    Live.erase(adapter);
    delete adapter;
    return pulled ? IoError : Ok;
}

FAKE_EXPORT Status FT_Read(void* handle, void* buffer, std::uint32_t count, std::uint32_t* got) {
    return OnLive(handle, [&](Adapter& adapter) {
        const ssize_t n = ::read(adapter.Fd, buffer, count);
        if (n < 0 && errno != EAGAIN) {
            return IoError;
        }
        *got = n > 0 ? static_cast<std::uint32_t>(n) : 0;
        return Ok;
    });
}

FAKE_EXPORT Status FT_Write(void* handle, void* buffer, std::uint32_t count,
                            std::uint32_t* written) {
    return OnLive(handle, [&](Adapter& adapter) {
        if (adapter.Tx.empty()) {
            adapter.TxStart = Clock::now();
        }
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        adapter.Tx.insert(adapter.Tx.end(), bytes, bytes + count);
        *written = count;
        return Ok;
    });
}

FAKE_EXPORT Status FT_SetBaudRate(void* handle, std::uint32_t baud) {
    return OnLive(handle, [&](Adapter& adapter) {
        Recorded[adapter.Entry.Serial].BaudRate = baud;
        return Ok;
    });
}

FAKE_EXPORT Status FT_SetDataCharacteristics(void* handle, std::uint8_t word, std::uint8_t stop,
                                             std::uint8_t parity) {
    return OnLive(handle, [&](Adapter& adapter) {
        FakeFtSettings& settings = Recorded[adapter.Entry.Serial];
        settings.WordLength = word;
        settings.StopBits = stop;
        settings.Parity = parity;
        return Ok;
    });
}

FAKE_EXPORT Status FT_SetTimeouts(void* handle, std::uint32_t readMs, std::uint32_t writeMs) {
    return OnLive(handle, [&](Adapter& adapter) {
        Recorded[adapter.Entry.Serial].ReadTimeout = readMs;
        Recorded[adapter.Entry.Serial].WriteTimeout = writeMs;
        return Ok;
    });
}

FAKE_EXPORT Status FT_SetLatencyTimer(void* handle, std::uint8_t ms) {
    return OnLive(handle, [&](Adapter& adapter) {
        Recorded[adapter.Entry.Serial].LatencyMs = ms;
        return Ok;
    });
}

FAKE_EXPORT Status FT_GetQueueStatus(void* handle, std::uint32_t* waiting) {
    {
        std::lock_guard<std::mutex> lock(Guard);
        if (QueueFailures > 0) {
            --QueueFailures;
            return IoError;
        }
    }
    return OnLive(handle, [&](Adapter& adapter) {
        int count = 0;
        if (::ioctl(adapter.Fd, FIONREAD, &count) != 0) {
            return IoError; // the far end is gone
        }
        *waiting = static_cast<std::uint32_t>(count);
        return Ok;
    });
}

FAKE_EXPORT Status FT_Purge(void* handle, std::uint32_t mask) {
    return OnLive(handle, [&](Adapter& adapter) {
        if ((mask & PurgeRx) != 0) {
            ::tcflush(adapter.Fd, TCIFLUSH);
            Recorded[adapter.Entry.Serial].InputPurges++;
        }
        if ((mask & PurgeTx) != 0) {
            Counts.BytesDropped += static_cast<std::uint32_t>(adapter.Tx.size());
            adapter.Tx.clear();
        }
        return Ok;
    });
}

FAKE_EXPORT Status FT_ListDevices(void* count, void* text, std::uint32_t flags) {
    std::lock_guard<std::mutex> lock(Guard);
    const std::vector<Plugged> plugged = PluggedNow();
    if ((flags & ListByIndex) != 0 && text != nullptr) {
        const auto index = reinterpret_cast<std::uintptr_t>(count);
        if (index >= plugged.size()) {
            return DeviceNotFound;
        }
        const std::string& serial = plugged[index].Serial;
        const std::string answer = (flags & 3u) == ByDescription ? "Fake FT232R " + serial : serial;
        answer.copy(static_cast<char*>(text), answer.size());
        static_cast<char*>(text)[answer.size()] = '\0';
        return Ok;
    }
    if (flags != ListNumberOnly) {
        return IoError;
    }
    *static_cast<std::uint32_t*>(count) = static_cast<std::uint32_t>(plugged.size());
    return Ok;
}

FAKE_EXPORT void FakeFt_SetAdapters(const char* list) {
    std::lock_guard<std::mutex> lock(Guard);
    SetList = list != nullptr ? std::optional<std::string>(list) : std::nullopt;
}

FAKE_EXPORT void FakeFt_FailQueueQueries(int count) {
    std::lock_guard<std::mutex> lock(Guard);
    QueueFailures = count;
}

FAKE_EXPORT bool FakeFt_Settings(const char* serial, FakeFtSettings* settings) {
    std::lock_guard<std::mutex> lock(Guard);
    const auto found = Recorded.find(serial);
    if (found == Recorded.end()) {
        return false;
    }
    *settings = found->second;
    return true;
}

FAKE_EXPORT void FakeFt_Counts(FakeFtCounts* counts) {
    std::lock_guard<std::mutex> lock(Guard);
    *counts = Counts;
}
