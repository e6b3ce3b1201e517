#include "SettingsLocation.h"

#include "FileAccess.h"
#include "Functionsload.h"

namespace quorvel {

std::string UserSettingsFile(const std::string& folder) {
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + UserSettingsFileName;
}

SettingsFiles ChooseSettingsFiles(const SettingsPlaceFacts& facts) {
    if (!facts.Installed) {
        return SettingsFiles::Single(facts.BesidePath);
    }
    if (!facts.UserFolder) {
        const std::string why =
            facts.UserFolderNote.empty() ? "no settings folder of this user" : facts.UserFolderNote;
        return {facts.BesidePath, {}, why + "; the settings will not be saved"};
    }
    const std::string own = UserSettingsFile(*facts.UserFolder);
    const bool startFromBeside = !facts.UserFileExists && facts.BesideFileExists;
    SettingsFiles files{startFromBeside ? facts.BesidePath : own, own, {}};
    if (!facts.UserFolderNote.empty()) {
        files.Note = facts.UserFolderNote + "; the settings are kept in " + own;
    }
    return files;
}

SettingsPlaceFacts GatherSettingsPlaceFacts(const std::string& executablePath,
                                            const SettingsPlaceRules& rules) {
    SettingsPlaceFacts facts;
    facts.BesidePath = SettingsFilePath(executablePath);
    facts.BesideFileExists = FileExists(facts.BesidePath);
    const auto separator = executablePath.find_last_of("/\\");
    const std::string folder = separator == std::string::npos ? "."
                               : separator == 0               ? executablePath.substr(0, 1)
                                                              : executablePath.substr(0, separator);
    facts.Installed = rules.IsInstalled(folder);
    if (facts.Installed) {
        facts.UserFolder = rules.UserFolder(facts.UserFolderNote);
        facts.UserFileExists = facts.UserFolder && FileExists(UserSettingsFile(*facts.UserFolder));
    }
    return facts;
}

SettingsFiles LocateSettingsFiles(const std::string& executablePath) {
    return ChooseSettingsFiles(SettingsPlaceFactsFor(executablePath));
}

} // namespace quorvel
