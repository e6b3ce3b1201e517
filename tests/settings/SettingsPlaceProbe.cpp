// Windows test program: what the console does with its settings at start and at close, for a
// copy of this program placed where a test puts it (under Program Files, or any folder). It
// reads the settings, moves Left on by one, saves, and prints where it read and wrote. Exit code
// 0 when saved.
#include "FileAccess.h"
#include "Functionsload.h"

#include <cstdio>

int main() {
    using namespace quorvel;
    const SettingsFiles files = LocateSettingsFiles(ExecutableFilePath());
    TSettings settings = LoadSettingsFile(files);
    settings.Left = static_cast<std::int16_t>(settings.Left + 1);
    const ReplaceResult saved = SaveSettingsFile(files, settings);
    std::printf("read %s\nwrite %s\nsaved %d\n", files.ReadPath.c_str(), files.WritePath.c_str(),
                saved ? 1 : 0);
    return saved ? 0 : 1;
}
