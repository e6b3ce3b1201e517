#include "PortFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

bool IsPrivateDirectory(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Nobody else can replace an entry of the parent: it is ours or root's, and only its owner may
// write to it, or it is sticky (/tmp), where entries can be renamed only by their owners.
bool IsSafeParent(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    const bool owner = info.st_uid == ::geteuid() || info.st_uid == 0;
    return owner && ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX) != 0);
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

} // namespace

std::string VirtualPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/quorvel/ports";
    }
    return "/tmp/quorvel-" + std::to_string(::getuid()) + "/ports";
}

bool IsPrivatePortFolder(const std::string& folder) {
    const std::string parent = ParentOf(folder);
    return IsPrivateDirectory(folder) && (parent.empty() || IsSafeParent(parent));
}

bool UsablePortFolder(const std::string& folder) {
    if (IsPrivatePortFolder(folder)) {
        return true;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return false; // no folder: nothing registered, nothing to say
    }
    static std::mutex guard;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> lock(guard);
    if (reported.insert(folder).second) {
        std::fprintf(stderr,
                     "quorvel: ignoring virtual port folder %s: not a private folder of this "
                     "user (it or its parent is another user's, writable by others, or a "
                     "link)\n",
                     folder.c_str());
    }
    return false;
}

} // namespace quorvel
