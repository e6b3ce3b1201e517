// Windows: whether a program folder is an installed one, and the user's own settings folder, for
// the settings file's place. From the shell's known folders; reads the file system.
#pragma once

#include <optional>
#include <string>

namespace quorvel {

// The folder lies under a Program Files known folder (64-bit or x86), where installers put
// programs: decided by place, so it holds for administrators, who may write there, and under Wine.
bool IsUnderProgramFiles(const std::string& folder);

// The user's roaming application data folder with "\Quorvel"; nothing when the shell cannot say.
std::optional<std::string> UserSettingsFolder();

} // namespace quorvel
