// Windows: the facts for choosing the settings file, from the shell's known folders.
#include "SettingsLocationWin32.h"

#include "SettingsLocation.h"
#include "TextWin32.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

namespace quorvel {

namespace {

std::optional<std::wstring> KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::optional<std::wstring> folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) &&
        path != nullptr) {
        folder = path;
    }
    ::CoTaskMemFree(path);
    return folder;
}

// Full, long-named, with backslashes and no trailing one, so two spellings of a folder compare
// equal (C:/PROGRA~1/ and C:\Program Files).
std::wstring Normalised(std::wstring path) {
    for (wchar_t& c : path) {
        c = c == L'/' ? L'\\' : c;
    }
    std::wstring full(MAX_PATH, L'\0');
    DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length > 0 && length < full.size()) {
        full.resize(length);
        path = full;
    }
    std::wstring longName(MAX_PATH, L'\0');
    length = ::GetLongPathNameW(path.c_str(), longName.data(), static_cast<DWORD>(longName.size()));
    if (length > 0 && length < longName.size()) {
        longName.resize(length);
        path = longName;
    }
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsUnder(const std::wstring& path, const std::wstring& folder) {
    if (path.size() < folder.size() || !SameText(path.substr(0, folder.size()), folder)) {
        return false;
    }
    return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

} // namespace

bool IsUnderProgramFiles(const std::string& folder) {
    const std::wstring path = Normalised(Widen(folder));
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesX64}) {
        const auto programFiles = KnownFolder(*id);
        if (programFiles && IsUnder(path, Normalised(*programFiles))) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> UserSettingsFolder() {
    const auto appData = KnownFolder(FOLDERID_RoamingAppData);
    if (!appData || appData->empty()) {
        return std::nullopt;
    }
    return Narrow(*appData) + "\\Quorvel";
}

SettingsPlaceFacts SettingsPlaceFactsFor(const std::string& executablePath) {
    return GatherSettingsPlaceFacts(executablePath,
                                    {IsUnderProgramFiles, [](std::string& note) {
                                         auto folder = UserSettingsFolder();
                                         if (!folder) {
                                             note = "the shell names no roaming application "
                                                    "data folder";
                                         }
                                         return folder;
                                     }});
}

} // namespace quorvel
