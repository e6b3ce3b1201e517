// Where an installed console on Linux keeps its settings: found from the real file system and
// environment, and saved there with the folder created.
#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// Sets or unsets an environment variable for one scope.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : Name(name) {
        if (const char* old = std::getenv(name)) {
            Saved = old;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment() { Saved ? ::setenv(Name, Saved->c_str(), 1) : ::unsetenv(Name); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* Name;
    std::optional<std::string> Saved;
};

// An executable under /usr/bin: not writable for a user, and the package manager's for root.
const std::string InstalledProgram = "/usr/bin/quorvel-settings-test-absent";

TEST(SettingsLocationPosix, InstalledProgramUsesXdgConfigHome) {
    TempFolder config;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.Folder().c_str());
    EXPECT_EQ(LocateSettingsFile(InstalledProgram), config.File("quorvel/quorvel.ini"));
}

TEST(SettingsLocationPosix, InstalledProgramFallsBackToDotConfigInHome) {
    TempFolder home;
    const ScopedEnvironment homeVariable("HOME", home.Folder().c_str());
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
        const ScopedEnvironment xdgVariable("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(LocateSettingsFile(InstalledProgram), home.File(".config/quorvel/quorvel.ini"))
            << (xdg == nullptr ? "unset" : xdg);
    }
}

TEST(SettingsLocationPosix, PortableCopyInAWritableFolderKeepsItBeside) {
    TempFolder program;
    TempFolder config;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.Folder().c_str());
    EXPECT_EQ(LocateSettingsFile(program.File("quorvel")), program.File("quorvel.ini"));
}

TEST(SettingsLocationPosix, FirstSaveCreatesThePrivateConfigFolders) {
    TempFolder home;
    const ScopedEnvironment homeVariable("HOME", home.Folder().c_str());
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    const std::string path = LocateSettingsFile(InstalledProgram);
    TSettings settings = ReadSettingsFile(path);
    settings.Port = "KELMAR1";
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    EXPECT_EQ(ReadSettingsFile(path).Port, "KELMAR1");
    struct stat info {};
    ASSERT_EQ(::stat(home.File(".config/quorvel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
    EXPECT_NE(ReadFile(path).find("[Quorvel]\nLeft=50\n"), std::string::npos);
}

// Here the file keeps its own line ends: written lines take that of its first line.
TEST(SettingsWritePosix, WrittenLinesTakeTheFirstLinesEndOthersKeepTheirs) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[Other]\r\nk=v\n[Quorvel]\nLeft=5\n");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("[Other]\r\nk=v\n[Quorvel]\nLeft=5\r\nTop=50\r\n", 0), 0U) << text;
}

} // namespace
} // namespace quorvel
