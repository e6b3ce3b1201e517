// Where the console on Linux keeps its settings, from the real file system: whose the program's
// folder is, whose the home and $XDG_CONFIG_HOME are. sudo -E hands root the user's HOME and
// XDG_CONFIG_HOME: nothing may then be created in them. Runs as root and as an ordinary user.
#include "SettingsLocationPosix.h"
#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

constexpr uid_t AnotherUid = 4242;

bool IsRoot() {
    return ::geteuid() == 0;
}

// A folder that belongs to another user than the one running the test: made and given away when
// this is root, else the root folder's, which is root's.
std::string AnotherUsersFolder(const TempFolder& scratch) {
    if (!IsRoot()) {
        return "/";
    }
    const std::string folder = scratch.File("another");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(::chown(folder.c_str(), AnotherUid, AnotherUid), 0);
    return folder;
}

PosixUser Me(const std::string& home) {
    PosixUser user;
    user.Uid = ::geteuid();
    user.Home = home;
    return user;
}

TEST(SettingsPlacePosix, TheUsersOwnFolderHoldsAPortableCopy) {
    TempFolder program;
    EXPECT_TRUE(IsUsersProgramFolder(program.Folder(), Me("/")));
    PosixUser someoneElse = Me("/");
    someoneElse.Uid = ::geteuid() + 1;
    EXPECT_FALSE(IsUsersProgramFolder(program.Folder(), someoneElse));
}

// Root owns /usr and /opt, but what lies there the package manager or the administrator put
// there: root's settings go to root's own folder, never beside such a program.
TEST(SettingsPlacePosix, ForRootAProgramUnderUsrOrOptIsInstalled) {
    PosixUser root = Me("/root");
    root.Uid = 0;
    EXPECT_FALSE(IsUsersProgramFolder("/usr/bin", root));
    EXPECT_FALSE(IsUsersProgramFolder("/usr/local/lib", root));
    EXPECT_FALSE(IsUsersProgramFolder("/usr", root));
    if (std::filesystem::is_directory("/opt")) {
        EXPECT_FALSE(IsUsersProgramFolder("/opt", root));
    }
    EXPECT_TRUE(IsUsersProgramFolder("/", root)) << "the root folder is root's";
    EXPECT_FALSE(IsUsersProgramFolder("/usr/bin", Me("/"))) << "nor anybody else's";
}

TEST(SettingsPlacePosix, XdgConfigHomeOfTheUsersOwnIsTaken) {
    TempFolder home;
    TempFolder config;
    PosixUser user = Me(home.Folder());
    user.XdgConfigHome = config.Folder() + "/";
    std::string note;
    EXPECT_EQ(UserSettingsFolder(user, note), config.File("quorvel"));
    EXPECT_TRUE(note.empty()) << note;
    user.XdgConfigHome = config.File("not/yet/made");
    EXPECT_EQ(UserSettingsFolder(user, note), config.File("not/yet/made/quorvel"));
}

TEST(SettingsPlacePosix, UnsetEmptyOrRelativeXdgConfigHomeGivesDotConfigInTheHome) {
    TempFolder home;
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/cfg"}) {
        PosixUser user = Me(home.Folder());
        if (xdg != nullptr) {
            user.XdgConfigHome = xdg;
        }
        std::string note;
        EXPECT_EQ(UserSettingsFolder(user, note), home.File(".config/quorvel"))
            << (xdg == nullptr ? "unset" : xdg);
        EXPECT_TRUE(note.empty()) << note;
    }
}

// sudo -E: root with the user's HOME and XDG_CONFIG_HOME. Root's settings go to root's own home,
// and stderr says so; the user's folders are left alone.
TEST(SettingsPlacePosix, SudoWithTheUsersEnvironmentKeepsOutOfTheUsersFolders) {
    TempFolder scratch;
    TempFolder rootsHome;
    const std::string usersHome = AnotherUsersFolder(scratch);
    PosixUser root = Me(rootsHome.Folder());
    root.HomeVariable = usersHome;
    root.XdgConfigHome = usersHome + "/.config";
    std::string note;
    EXPECT_EQ(UserSettingsFolder(root, note), rootsHome.File(".config/quorvel"));
    EXPECT_NE(note.find("XDG_CONFIG_HOME " + usersHome + "/.config is not this user's"),
              std::string::npos)
        << note;
    EXPECT_NE(note.find("HOME " + usersHome + " is not this user's home"), std::string::npos)
        << note;
}

// The user's own ~/.config/quorvel made by root earlier (the fault sudo -E caused) is root's:
// nothing is written into it, and the user is told.
TEST(SettingsPlacePosix, NoFolderOfTheUsersOwnLeavesNothingToWriteAndSaysWhy) {
    TempFolder scratch;
    const std::string foreign = AnotherUsersFolder(scratch);
    PosixUser user = Me(foreign);
    std::string note;
    EXPECT_FALSE(UserSettingsFolder(user, note).has_value());
    EXPECT_NE(note.find("is not this user's"), std::string::npos) << note;
    user.Home.reset();
    EXPECT_FALSE(UserSettingsFolder(user, note).has_value());
    EXPECT_NE(note.find("no home folder"), std::string::npos) << note;
}

// Through the process's own identity and environment, as the console runs.
class EffectiveUserTest : public testing::Test {
  protected:
    const std::string InstalledProgram = "/usr/bin/quorvel-settings-test-absent";
    const passwd* Entry = ::getpwuid(::geteuid());
};

TEST_F(EffectiveUserTest, TheHomeIsThePasswordDatabasesNotHome) {
    TempFolder fakeHome;
    const ScopedEnvironment home("HOME", fakeHome.Folder().c_str());
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", nullptr);
    ASSERT_NE(Entry, nullptr);
    EXPECT_EQ(EffectiveUser().Home, std::string(Entry->pw_dir));
    const SettingsFiles files = LocateSettingsFiles(InstalledProgram);
    EXPECT_EQ(files.WritePath.find(fakeHome.Folder()), std::string::npos) << files.WritePath;
    EXPECT_EQ(files.ReadPath.find(fakeHome.Folder()), std::string::npos) << files.ReadPath;
}

TEST_F(EffectiveUserTest, XdgConfigHomeOfAnotherUserIsNeverChosen) {
    TempFolder scratch;
    const std::string foreign = AnotherUsersFolder(scratch) + "/cfg";
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", foreign.c_str());
    const SettingsFiles files = LocateSettingsFiles(InstalledProgram);
    EXPECT_NE(files.WritePath.rfind(foreign, 0), 0U) << files.WritePath;
    EXPECT_NE(files.Note.find(foreign), std::string::npos) << files.Note;
}

TEST_F(EffectiveUserTest, InstalledProgramUsesTheUsersOwnXdgConfigHome) {
    TempFolder config;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.Folder().c_str());
    EXPECT_EQ(LocateSettingsFiles(InstalledProgram).WritePath, config.File("quorvel/quorvel.ini"));
}

TEST_F(EffectiveUserTest, PortableCopyInTheUsersFolderKeepsItBeside) {
    TempFolder program;
    TempFolder config;
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", config.Folder().c_str());
    const SettingsFiles files = LocateSettingsFiles(program.File("quorvel"));
    EXPECT_EQ(files.ReadPath, program.File("quorvel.ini"));
    EXPECT_EQ(files.WritePath, program.File("quorvel.ini"));
}

TEST(SettingsPlacePosix, FirstSaveCreatesThePrivateConfigFolders) {
    TempFolder home;
    PosixUser user = Me(home.Folder());
    const SettingsFiles files =
        ChooseSettingsFiles(PosixSettingsPlaceFacts("/usr/bin/quorvel-settings-test-absent", user));
    ASSERT_EQ(files.WritePath, home.File(".config/quorvel/quorvel.ini"))
        << "no writing under /usr/bin";
    TSettings settings = LoadSettingsFile(files);
    settings.Port = "KELMAR1";
    ASSERT_TRUE(SaveSettingsFile(files, settings));
    EXPECT_EQ(ReadSettingsFile(files.WritePath).Port, "KELMAR1");
    struct stat info {};
    ASSERT_EQ(::stat(home.File(".config/quorvel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
    ASSERT_EQ(::stat(home.File(".config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
    EXPECT_NE(ReadFile(files.WritePath).find("[Quorvel]\nLeft=50\n"), std::string::npos);
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
