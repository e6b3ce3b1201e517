#include "WineLane.h"

#include <cstdlib>
#include <sstream>

namespace quorvel::win32test {

namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

HANDLE OpenRaw(const std::string& name) {
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

} // namespace

std::optional<std::string> ComPortUnderTest() {
    return Variable("QUORVEL_WINE_COM");
}

std::optional<std::string> SplitComPortUnderTest() {
    return Variable("QUORVEL_WINE_SPLIT_COM");
}

std::vector<std::string> AddedSerialMapNames() {
    std::vector<std::string> names;
    std::istringstream list(Variable("QUORVEL_WINE_TEST_PORTS").value_or(""));
    for (std::string name; std::getline(list, name, ',');) {
        if (!name.empty()) {
            names.push_back(name);
        }
    }
    return names;
}

std::string BesideExecutable(const std::string& fileName) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    folder.resize(slash == std::string::npos ? 0 : slash + 1);
    return folder + fileName;
}

std::optional<TRawComView> ReadRawComView(const std::string& name) {
    HANDLE handle = OpenRaw(name);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    TRawComView view;
    view.State.DCBlength = sizeof(view.State);
    const bool read = GetCommState(handle, &view.State) && GetCommTimeouts(handle, &view.Timeouts);
    CloseHandle(handle);
    if (!read) {
        return std::nullopt;
    }
    return view;
}

bool DiscardPendingBytes(const std::string& name) {
    HANDLE handle = OpenRaw(name);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool purged = PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR) != FALSE;
    CloseHandle(handle);
    return purged;
}

bool SetRawBaudRate(const std::string& name, DWORD baud) {
    HANDLE handle = OpenRaw(name);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DCB state{};
    state.DCBlength = sizeof(state);
    bool done = GetCommState(handle, &state);
    state.BaudRate = baud;
    done = done && SetCommState(handle, &state);
    CloseHandle(handle);
    return done;
}

bool LeaveAnswerPending(const std::string& name, const std::string& request) {
    HANDLE handle = OpenRaw(name);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool sent = WriteFile(handle, request.data(), static_cast<DWORD>(request.size()),
                                &written, nullptr) != FALSE;
    Sleep(300); // the simulator answers within a few milliseconds
    CloseHandle(handle);
    return sent && written == request.size();
}

} // namespace quorvel::win32test
