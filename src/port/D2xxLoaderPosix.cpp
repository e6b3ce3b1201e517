// Run-time loading of the D2XX shared library with dlopen.
#include "D2xxLibrary.h"

#include <dlfcn.h>

namespace quorvel {

std::string DefaultD2xxLibrary() {
    return "libftd2xx.so";
}

void* OpenSharedLibrary(const std::string& path) {
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

TLibraryProc FindLibraryProc(void* library, const char* name) {
    return reinterpret_cast<TLibraryProc>(::dlsym(library, name));
}

} // namespace quorvel
