// POSIX: the facts for choosing the settings file, from the file system and the environment.
#include "FileAccess.h"
#include "Functionsload.h"
#include "SettingsLocation.h"

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

std::optional<std::string> HomeFolder() {
    if (auto home = Environment("HOME"); home && !home->empty()) {
        return home;
    }
    const passwd* entry = ::getpwuid(::geteuid());
    return entry != nullptr && entry->pw_dir != nullptr ? std::optional<std::string>(entry->pw_dir)
                                                        : std::nullopt;
}

// The superuser may write anywhere, but a program under /usr was put there by the package
// manager, and its folder is no place for a user's settings.
bool FolderWritable(const std::string& folder) {
    if (::access(folder.c_str(), W_OK) != 0) {
        return false;
    }
    if (::geteuid() != 0) {
        return true;
    }
    char* resolved = ::realpath(folder.c_str(), nullptr);
    const std::string real = resolved != nullptr ? resolved : folder;
    std::free(resolved);
    return real.rfind("/usr/", 0) != 0;
}

} // namespace

std::string LocateSettingsFile(const std::string& executablePath) {
    SettingsPlaceFacts facts;
    facts.BesidePath = SettingsFilePath(executablePath);
    facts.BesideFileExists = FileExists(facts.BesidePath);
    const auto slash = executablePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : executablePath.substr(0, slash));
    facts.FolderWritable = FolderWritable(folder);
    facts.XdgConfigHome = Environment("XDG_CONFIG_HOME");
    facts.Home = HomeFolder();
    return ChooseSettingsFile(facts);
}

} // namespace quorvel
