// Where the settings file lives for the user running the console. A copy in a folder that is the
// user's own (a portable copy) keeps it beside the executable, named after it with ".ini". An
// installed copy keeps each user's file in that user's settings folder; a file beside it (an
// administrator's) gives the starting values while the user has none of their own and is never
// written. The platform file decides "installed" and finds the user's folder; the choice is pure.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quorvel {

struct SettingsFiles {
    std::string ReadPath;  // read at start
    std::string WritePath; // written at close; empty when the user has no folder of their own
    std::string Note;      // for stderr: where the settings go instead, or that they are not saved

    // One file, read and written: a portable copy's.
    static SettingsFiles Single(const std::string& path) { return {path, path, {}}; }
};

struct SettingsPlaceFacts {
    std::string BesidePath; // the executable's path with ".ini"
    bool BesideFileExists = false;
    bool Installed = false;                // the program's folder is not the user's own
    std::optional<std::string> UserFolder; // the user's own settings folder; nothing when none is
    bool UserFileExists = false;           // its quorvel.ini is there already
    std::string UserFolderNote;            // why the usual folder was passed over, for stderr
};

// The file name in the user's own settings folder.
inline constexpr const char* UserSettingsFileName = "quorvel.ini";
std::string UserSettingsFile(const std::string& folder);

SettingsFiles ChooseSettingsFiles(const SettingsPlaceFacts& facts);

// The platform's two answers: whether the program's folder is an installed one, and (asked only
// then) the user's own settings folder, with why the usual one was passed over.
struct SettingsPlaceRules {
    std::function<bool(const std::string& programFolder)> IsInstalled;
    std::function<std::optional<std::string>(std::string& note)> UserFolder;
};

// The facts for the executable at that path under those rules, the files looked up.
SettingsPlaceFacts GatherSettingsPlaceFacts(const std::string& executablePath,
                                            const SettingsPlaceRules& rules);

// The facts for the executable at that path, for the process's effective user (platform file).
SettingsPlaceFacts SettingsPlaceFactsFor(const std::string& executablePath);

// ChooseSettingsFiles(SettingsPlaceFactsFor(executablePath)).
SettingsFiles LocateSettingsFiles(const std::string& executablePath);

} // namespace quorvel
