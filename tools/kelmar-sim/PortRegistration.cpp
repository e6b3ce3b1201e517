#include "PortRegistration.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::sim {

namespace {

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string ReadLink(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The folder (and its parent, also ours by layout) must not be redirectable by anyone else:
// a real directory of this user that no one else may write to.
std::string CheckPrivate(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return SystemError("lstat " + path);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 022) != 0) {
        return path + " is not a private directory of this user";
    }
    return {};
}

std::string Parent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

} // namespace

bool IsValidPortName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string MakePrivateFolder(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') {
            continue;
        }
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return SystemError("mkdir " + part);
        }
    }
    const std::string parent = Parent(folder);
    std::string problem = parent.empty() ? std::string() : CheckPrivate(parent);
    return problem.empty() ? CheckPrivate(folder) : problem;
}

PortRegistration::~PortRegistration() {
    Remove();
}

bool PortRegistration::Register(const std::string& folder, const std::string& name,
                                const std::string& target) {
    if (!IsValidPortName(name)) {
        error_ = "invalid port name '" + name + "'";
        return false;
    }
    error_ = MakePrivateFolder(folder);
    if (!error_.empty()) {
        return false;
    }
    const std::string link = folder + "/" + name;
    // Link under a temporary name, then rename over the old one: clients never see a gap.
    const std::string temporary = folder + "/." + name + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error_ = SystemError("symlink " + temporary);
        return false;
    }
    if (std::rename(temporary.c_str(), link.c_str()) != 0) {
        error_ = SystemError("rename to " + link);
        ::unlink(temporary.c_str());
        return false;
    }
    link_ = link;
    target_ = target;
    return true;
}

void PortRegistration::Remove() {
    if (link_.empty()) {
        return;
    }
    if (ReadLink(link_) == target_) {
        ::unlink(link_.c_str());
    }
    link_.clear();
}

} // namespace quorvel::sim
