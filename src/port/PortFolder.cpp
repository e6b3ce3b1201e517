#include "PortFolder.h"

#include "PortSources.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsPrivateDirectory(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Nobody else can replace an entry of the parent: it is ours or root's, and only its owner may
// write to it, or it is sticky (/tmp), where entries can be renamed only by their owners.
bool IsSafeParent(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    const bool owner = info.st_uid == ::geteuid() || info.st_uid == 0;
    return owner && ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX) != 0);
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Registration names are single, plain file names.
bool IsPortName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

// The folder, opened through its parent, when both pass; -1 otherwise.
int OpenTrusted(const std::string& folder) {
    const int parent = ::open(ParentOf(folder).c_str(), DirectoryFlags);
    if (parent < 0) {
        return -1;
    }
    int fd = -1;
    if (IsSafeParent(parent)) {
        fd = ::openat(parent, LastPart(folder).c_str(), DirectoryFlags);
        if (fd >= 0 && !IsPrivateDirectory(fd)) {
            ::close(fd);
            fd = -1;
        }
    }
    ::close(parent);
    return fd;
}

void ReportRefused(const std::string& folder) {
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
}

} // namespace

std::string VirtualPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/quorvel/ports";
    }
    return "/tmp/quorvel-" + std::to_string(::getuid()) + "/ports";
}

std::unique_ptr<TPortFolder> TPortFolder::Open(const std::string& folder) {
    const int fd = OpenTrusted(folder);
    if (fd >= 0) {
        return std::unique_ptr<TPortFolder>(new TPortFolder(folder, fd));
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) {
        ReportRefused(folder); // no folder: nothing registered, nothing to say
    }
    return nullptr;
}

TPortFolder::~TPortFolder() {
    ::close(Fd);
}

std::vector<TRegisteredPort> TPortFolder::List() const {
    std::vector<TRegisteredPort> ports;
    const int listing = ::openat(Fd, ".", DirectoryFlags);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return ports;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat target {};
        if (!Entry(name).Link || ::fstatat(Fd, name.c_str(), &target, 0) != 0) {
            continue; // no registration, or one whose target has gone
        }
        char text[4096];
        const ssize_t size = ::readlinkat(Fd, name.c_str(), text, sizeof text);
        if (size > 0 && static_cast<std::size_t>(size) < sizeof text) {
            ports.push_back({name, std::string(text, static_cast<std::size_t>(size))});
        }
    }
    ::closedir(dir);
    return ports;
}

TPathEntry TPortFolder::Entry(const std::string& name) const {
    struct stat info {};
    if (!IsPortName(name) || ::fstatat(Fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode)) {
        return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_ctim};
}

int TPortFolder::OpenPort(const std::string& name, int flags) const {
    if (!IsPortName(name)) {
        errno = ENOENT;
        return -1;
    }
    return ::openat(Fd, name.c_str(), flags);
}

std::string TPortFolder::AccessNote(const std::string& name) const {
    if (::faccessat(Fd, name.c_str(), R_OK | W_OK, 0) == 0 || errno != EACCES) {
        return {};
    }
    struct stat info {};
    if (::fstatat(Fd, name.c_str(), &info, 0) != 0) {
        return {};
    }
    return NoPermissionNote(info.st_gid);
}

} // namespace quorvel
