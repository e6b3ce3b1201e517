// POSIX: the facts for choosing the settings file, from the password database, the environment
// and the owners of the folders.
#include "SettingsLocationPosix.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

std::optional<std::string> Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

bool IsAbsolute(const std::optional<std::string>& path) {
    return path && !path->empty() && path->front() == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RealPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    const std::string real = resolved != nullptr ? resolved : path;
    std::free(resolved);
    return real;
}

bool IsUnder(const std::string& path, const std::string& folder) {
    return path == folder || path.rfind(folder + "/", 0) == 0;
}

// The nearest of path and its parents that exists; empty when none can be examined.
std::string NearestExisting(std::string path) {
    for (;;) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            return path;
        }
        const std::string parent = ParentOf(path);
        if (parent == path) {
            return {};
        }
        path = parent;
    }
}

// Creating path would put nothing into a folder of another user.
bool BelongsTo(const std::string& path, uid_t uid, std::string& nearest) {
    nearest = NearestExisting(path);
    struct stat info {};
    return !nearest.empty() && ::stat(nearest.c_str(), &info) == 0 && info.st_uid == uid;
}

// Why a folder was passed over.
std::string NotTheUsers(const std::string& what, const std::string& nearest) {
    return what + " is not this user's (" +
           (nearest.empty() ? std::string("nothing on its path can be examined")
                            : nearest + " belongs to another user") +
           ")";
}

std::string Joined(const std::string& first, const std::string& second) {
    return first.empty() ? second : first + "; " + second;
}

} // namespace

PosixUser EffectiveUser() {
    PosixUser user;
    user.Uid = ::geteuid();
    if (const passwd* entry = ::getpwuid(user.Uid); entry != nullptr && entry->pw_dir != nullptr) {
        user.Home = entry->pw_dir;
    }
    user.HomeVariable = Environment("HOME");
    user.XdgConfigHome = Environment("XDG_CONFIG_HOME");
    return user;
}

bool IsUsersProgramFolder(const std::string& folder, const PosixUser& user) {
    const std::string real = RealPath(folder);
    struct stat info {};
    if (::stat(real.c_str(), &info) != 0 || info.st_uid != user.Uid) {
        return false;
    }
    return user.Uid != 0 || !(IsUnder(real, "/usr") || IsUnder(real, "/opt"));
}

std::optional<std::string> UserSettingsFolder(const PosixUser& user, std::string& note) {
    note.clear();
    std::string nearest;
    if (IsAbsolute(user.XdgConfigHome)) {
        const std::string base = WithoutTrailingSlashes(*user.XdgConfigHome);
        const std::string folder = (base == "/" ? "" : base) + "/quorvel";
        if (BelongsTo(folder, user.Uid, nearest)) {
            return folder;
        }
        note = NotTheUsers("XDG_CONFIG_HOME " + base, nearest);
    }
    if (IsAbsolute(user.HomeVariable) && IsAbsolute(user.Home) &&
        WithoutTrailingSlashes(*user.HomeVariable) != WithoutTrailingSlashes(*user.Home)) {
        note = Joined(note, "HOME " + *user.HomeVariable + " is not this user's home " +
                                *user.Home + ", which is used");
    }
    if (!IsAbsolute(user.Home)) {
        note = Joined(note, "this user has no home folder");
        return std::nullopt;
    }
    const std::string home = WithoutTrailingSlashes(*user.Home);
    const std::string folder = (home == "/" ? "" : home) + "/.config/quorvel";
    if (BelongsTo(folder, user.Uid, nearest)) {
        return folder;
    }
    note = Joined(note, NotTheUsers(folder, nearest));
    return std::nullopt;
}

SettingsPlaceFacts PosixSettingsPlaceFacts(const std::string& executablePath,
                                           const PosixUser& user) {
    return GatherSettingsPlaceFacts(
        executablePath,
        {[&](const std::string& folder) { return !IsUsersProgramFolder(folder, user); },
         [&](std::string& note) { return UserSettingsFolder(user, note); }});
}

SettingsPlaceFacts SettingsPlaceFactsFor(const std::string& executablePath) {
    return PosixSettingsPlaceFacts(executablePath, EffectiveUser());
}

} // namespace quorvel
