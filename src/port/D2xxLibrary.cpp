// Resolves the D2XX functions once per library path and keeps them for the process.
#include "D2xxLibrary.h"

#include <map>
#include <memory>
#include <mutex>

namespace quorvel {

namespace {

template <typename Function> bool Resolve(void* library, const char* name, Function& function) {
    TLibraryProc proc = FindLibraryProc(library, name);
    function = reinterpret_cast<Function>(proc);
    return proc != nullptr;
}

std::unique_ptr<TD2xxApi> LoadApi(const std::string& path) {
    void* library = OpenSharedLibrary(path);
    if (library == nullptr) {
        return nullptr;
    }
    auto api = std::make_unique<TD2xxApi>();
    const bool complete =
        Resolve(library, "FT_Open", api->FT_Open) && Resolve(library, "FT_Close", api->FT_Close) &&
        Resolve(library, "FT_Read", api->FT_Read) && Resolve(library, "FT_Write", api->FT_Write) &&
        Resolve(library, "FT_SetBaudRate", api->FT_SetBaudRate) &&
        Resolve(library, "FT_SetDataCharacteristics", api->FT_SetDataCharacteristics) &&
        Resolve(library, "FT_SetTimeouts", api->FT_SetTimeouts) &&
        Resolve(library, "FT_GetQueueStatus", api->FT_GetQueueStatus) &&
        Resolve(library, "FT_SetLatencyTimer", api->FT_SetLatencyTimer) &&
        Resolve(library, "FT_ListDevices", api->FT_ListDevices);
    Resolve(library, "FT_OpenEx", api->FT_OpenEx);
    Resolve(library, "FT_Purge", api->FT_Purge);
    // A library missing a function stays loaded but unused; unloading it is not worth the risk.
    return complete ? std::move(api) : nullptr;
}

} // namespace

const TD2xxApi* LoadD2xx(const std::string& path) {
    static std::mutex guard;
    static std::map<std::string, std::unique_ptr<TD2xxApi>> loaded; // null: tried and failed
    std::lock_guard<std::mutex> lock(guard);
    auto found = loaded.find(path);
    if (found == loaded.end()) {
        found = loaded.emplace(path, LoadApi(path)).first;
    }
    return found->second.get();
}

} // namespace quorvel
