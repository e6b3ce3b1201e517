#include "PortOrigin.h"

#include "PortFolder.h"

#include <linux/major.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace quorvel {

bool operator==(const TPathEntry& a, const TPathEntry& b) {
    return a.Link == b.Link && a.Device == b.Device && a.Inode == b.Inode &&
           a.Changed.tv_sec == b.Changed.tv_sec && a.Changed.tv_nsec == b.Changed.tv_nsec;
}

// A link is never changed in place: a new registration is a new entry, with its own inode.
TPathEntry EntryOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return {};
    }
    return {true, info.st_dev, info.st_ino, info.st_ctim};
}

bool IsPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const unsigned deviceMajor = major(info.st_rdev);
    return deviceMajor >= UNIX98_PTY_SLAVE_MAJOR &&
           deviceMajor < UNIX98_PTY_SLAVE_MAJOR + UNIX98_PTY_MAJOR_COUNT;
}

bool MayLeadBack(const TPortOrigin& origin) {
    if (!origin.Pty) {
        return true;
    }
    TPathEntry now;
    if (origin.Folder.empty()) {
        now = EntryOf(origin.Path);
    } else if (const auto folder = TPortFolder::Open(origin.Folder)) {
        now = folder->Entry(origin.Name);
    }
    return now.Link && !(now == origin.Entry);
}

} // namespace quorvel
