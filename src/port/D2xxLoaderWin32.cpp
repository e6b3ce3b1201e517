// Run-time loading of FTD2XX.DLL, so the console starts on machines without the FTDI driver.
#include "D2xxLibrary.h"

#include <windows.h>

#include <vector>

namespace quorvel {

std::string DefaultD2xxLibrary() {
    return "FTD2XX.DLL";
}

// Only from the system folder (where FTDI's driver package puts it) and the program's own folder:
// never from the current folder or PATH, where anyone could plant a DLL of that name. A full
// path is loaded as it is.
void* OpenSharedLibrary(const std::string& path) {
    const int size = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    if (size <= 0) {
        return nullptr;
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
    return reinterpret_cast<void*>(::LoadLibraryExW(
        wide.data(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR));
}

TLibraryProc FindLibraryProc(void* library, const char* name) {
    return reinterpret_cast<TLibraryProc>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace quorvel
