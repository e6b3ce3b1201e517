// Run-time loading of FTD2XX.DLL, so the console starts on machines without the FTDI driver.
#include "D2xxLibrary.h"

#include <windows.h>

namespace quorvel {

std::string DefaultD2xxLibrary() {
    return "FTD2XX.DLL";
}

void* OpenSharedLibrary(const std::string& path) {
    return reinterpret_cast<void*>(::LoadLibraryA(path.c_str()));
}

TLibraryProc FindLibraryProc(void* library, const char* name) {
    return reinterpret_cast<TLibraryProc>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

} // namespace quorvel
