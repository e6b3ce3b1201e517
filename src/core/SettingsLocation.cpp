#include "SettingsLocation.h"

#include "Functionsload.h"

namespace quorvel {

namespace {

bool IsAbsolute(const std::optional<std::string>& path) {
    return path && !path->empty() && path->front() == '/';
}

} // namespace

std::string ChooseSettingsFile(const SettingsPlaceFacts& facts) {
    if (facts.BesideFileExists || facts.FolderWritable) {
        return facts.BesidePath;
    }
    if (IsAbsolute(facts.XdgConfigHome)) {
        return *facts.XdgConfigHome + "/quorvel/quorvel.ini";
    }
    if (IsAbsolute(facts.Home)) {
        return *facts.Home + "/.config/quorvel/quorvel.ini";
    }
    return facts.BesidePath;
}

} // namespace quorvel
