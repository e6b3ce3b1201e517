// POSIX: who the user is and which folders are theirs, for the settings file's place. The home is
// the effective user's from the password database, never $HOME; no folder that belongs to another
// user (a home or $XDG_CONFIG_HOME handed on by sudo -E) is ever chosen. Reads the file system.
#pragma once

#include "SettingsLocation.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvel {

struct PosixUser {
    uid_t Uid = 0;                            // the effective user
    std::optional<std::string> Home;          // that user's home from the password database
    std::optional<std::string> HomeVariable;  // $HOME, only to say when it is not that home
    std::optional<std::string> XdgConfigHome; // $XDG_CONFIG_HOME
};

PosixUser EffectiveUser();

// The folder is the user's own: it belongs to them, and for root it is not under /usr or /opt,
// where the package manager and the administrator put programs.
bool IsUsersProgramFolder(const std::string& folder, const PosixUser& user);

// $XDG_CONFIG_HOME/quorvel, else <home>/.config/quorvel, whichever is the user's: the nearest of
// it and its parents that exists belongs to them. note says why one was passed over.
std::optional<std::string> UserSettingsFolder(const PosixUser& user, std::string& note);

SettingsPlaceFacts PosixSettingsPlaceFacts(const std::string& executablePath,
                                           const PosixUser& user);

} // namespace quorvel
