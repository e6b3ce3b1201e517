// Windows: the settings file is always the one beside the executable.
#include "Functionsload.h"

namespace quorvel {

std::string LocateSettingsFile(const std::string& executablePath) {
    return SettingsFilePath(executablePath);
}

} // namespace quorvel
