// Started by the D2XX search test from a folder of its own: loads FTD2XX.DLL by its bare name
// through the link's loader and writes the full path of the module it got (UTF-8) to stdout;
// exit code 1 and nothing written when none was loaded.
#include "D2xxLibrary.h"

#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    void* library = quorvel::OpenSharedLibrary(quorvel::DefaultD2xxLibrary());
    if (library == nullptr) {
        return 1;
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(library), path, MAX_PATH);
    std::string utf8(static_cast<std::size_t>(length) * 4, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    std::fputs(utf8.c_str(), stdout);
    return 0;
}
