// Where the settings file lives. Beside the executable (its name with ".ini") for a portable
// copy; on Linux, for an installed program (its folder not writable and no file there), under
// the user's configuration folder instead. Pure decision; the platform file supplies the facts.
#pragma once

#include <optional>
#include <string>

namespace quorvel {

struct SettingsPlaceFacts {
    std::string BesidePath;                   // the executable's path with ".ini"
    bool BesideFileExists = false;            // a settings file is already there
    bool FolderWritable = false;              // the executable's folder takes new files
    std::optional<std::string> XdgConfigHome; // $XDG_CONFIG_HOME, when set
    std::optional<std::string> Home;          // the user's home folder, when known
};

// The file beside the executable when it exists or its folder is writable; otherwise
// $XDG_CONFIG_HOME/quorvel/quorvel.ini, or ~/.config/quorvel/quorvel.ini when that is unset or not
// absolute. Beside the executable when no home is known either.
std::string ChooseSettingsFile(const SettingsPlaceFacts& facts);

} // namespace quorvel
