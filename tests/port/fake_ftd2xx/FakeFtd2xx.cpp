// Implements the D2XX functions the console uses over terminal devices (ptys in tests).
#include "FakeFtd2xx.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Status = std::uint32_t;
constexpr Status Ok = 0;
constexpr Status DeviceNotFound = 2;
constexpr Status DeviceNotOpened = 3;
constexpr Status IoError = 4;
constexpr std::uint32_t ListNumberOnly = 0x80000000u;
constexpr std::uint32_t ListByIndex = 0x40000000u;
constexpr std::uint32_t OpenByDescription = 2;
constexpr int MaxAdapters = 8;

struct Adapter {
    int Index;
    int Fd;
};

std::mutex Guard;
std::array<FakeFtSettings, MaxAdapters> Recorded{};
int QueueFailures = 0; // the next this many queue queries fail

std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    const char* list = std::getenv("QUORVEL_FAKE_FTDI_PORTS");
    std::string rest = list != nullptr ? list : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        paths.push_back(rest.substr(0, colon));
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return paths;
}

Adapter* Of(void* handle) {
    return static_cast<Adapter*>(handle);
}

FakeFtSettings* SettingsOf(void* handle) {
    return &Recorded[static_cast<std::size_t>(Of(handle)->Index)];
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) Status FT_Open(int index, void** handle) {
    const std::vector<std::string> paths = Paths();
    if (index < 0 || index >= MaxAdapters || static_cast<std::size_t>(index) >= paths.size()) {
        return DeviceNotFound;
    }
    const int fd = ::open(paths[static_cast<std::size_t>(index)].c_str(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return DeviceNotOpened;
    }
    termios raw{};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    std::lock_guard<std::mutex> lock(Guard);
    Recorded[static_cast<std::size_t>(index)].Opens++;
    *handle = new Adapter{index, fd};
    return Ok;
}

__attribute__((visibility("default"))) Status FT_Close(void* handle) {
    ::close(Of(handle)->Fd);
    delete Of(handle);
    return Ok;
}

__attribute__((visibility("default"))) Status FT_Read(void* handle, void* buffer,
                                                      std::uint32_t count, std::uint32_t* got) {
    const ssize_t n = ::read(Of(handle)->Fd, buffer, count);
    if (n < 0 && errno != EAGAIN) {
        return IoError;
    }
    *got = n > 0 ? static_cast<std::uint32_t>(n) : 0;
    return Ok;
}

__attribute__((visibility("default"))) Status
FT_Write(void* handle, void* buffer, std::uint32_t count, std::uint32_t* written) {
    const ssize_t n = ::write(Of(handle)->Fd, buffer, count);
    if (n < 0) {
        return IoError;
    }
    *written = static_cast<std::uint32_t>(n);
    return Ok;
}

__attribute__((visibility("default"))) Status FT_SetBaudRate(void* handle, std::uint32_t baud) {
    std::lock_guard<std::mutex> lock(Guard);
    SettingsOf(handle)->BaudRate = baud;
    return Ok;
}

__attribute__((visibility("default"))) Status
FT_SetDataCharacteristics(void* handle, std::uint8_t word, std::uint8_t stop, std::uint8_t parity) {
    std::lock_guard<std::mutex> lock(Guard);
    FakeFtSettings* settings = SettingsOf(handle);
    settings->WordLength = word;
    settings->StopBits = stop;
    settings->Parity = parity;
    return Ok;
}

__attribute__((visibility("default"))) Status FT_SetTimeouts(void* handle, std::uint32_t readMs,
                                                             std::uint32_t writeMs) {
    std::lock_guard<std::mutex> lock(Guard);
    SettingsOf(handle)->ReadTimeout = readMs;
    SettingsOf(handle)->WriteTimeout = writeMs;
    return Ok;
}

__attribute__((visibility("default"))) Status FT_GetQueueStatus(void* handle,
                                                                std::uint32_t* waiting) {
    {
        std::lock_guard<std::mutex> lock(Guard);
        if (QueueFailures > 0) {
            --QueueFailures;
            return IoError;
        }
    }
    int count = 0;
    if (::ioctl(Of(handle)->Fd, FIONREAD, &count) != 0) {
        return IoError; // the far end is gone, as with an unplugged adapter
    }
    *waiting = static_cast<std::uint32_t>(count);
    return Ok;
}

__attribute__((visibility("default"))) Status FT_SetLatencyTimer(void* handle, std::uint8_t ms) {
    std::lock_guard<std::mutex> lock(Guard);
    SettingsOf(handle)->LatencyMs = ms;
    return Ok;
}

__attribute__((visibility("default"))) Status FT_ListDevices(void* count, void* text,
                                                             std::uint32_t flags) {
    if ((flags & ListByIndex) != 0 && text != nullptr) {
        const auto index = reinterpret_cast<std::uintptr_t>(count);
        if (index >= Paths().size()) {
            return DeviceNotFound;
        }
        const std::string answer = (flags & 3u) == OpenByDescription
                                       ? "Fake FT232R " + std::to_string(index + 1)
                                       : "FAKE000" + std::to_string(index + 1);
        answer.copy(static_cast<char*>(text), answer.size());
        static_cast<char*>(text)[answer.size()] = '\0';
        return Ok;
    }
    if (flags != ListNumberOnly) {
        return IoError;
    }
    *static_cast<std::uint32_t*>(count) = static_cast<std::uint32_t>(Paths().size());
    return Ok;
}

__attribute__((visibility("default"))) void FakeFt_FailQueueQueries(int count) {
    std::lock_guard<std::mutex> lock(Guard);
    QueueFailures = count;
}

__attribute__((visibility("default"))) bool FakeFt_Settings(int index, FakeFtSettings* settings) {
    if (index < 0 || index >= MaxAdapters) {
        return false;
    }
    std::lock_guard<std::mutex> lock(Guard);
    *settings = Recorded[static_cast<std::size_t>(index)];
    return true;
}
}
