// Windows only, in the Wine lane: a copy of a program that keeps its settings as the console does
// (settings_place_probe) is placed under the prefix's Program Files with an administrator's
// quorvel.ini beside it, and run there; its settings must land in %APPDATA%\Quorvel and nothing be
// written under Program Files. A copy in any other folder keeps them beside itself. Outside the
// lane (its own throw-away prefix) it skips: it writes the user's real %APPDATA%\Quorvel.
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    fs::path folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = path;
    }
    ::CoTaskMemFree(path);
    return folder;
}

fs::path BesideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path() / name;
}

// Runs the program and waits for it; its exit code, or -1 when it could not be started.
int RunProgram(const fs::path& program) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                         nullptr, program.parent_path().wstring().c_str(), &startup,
                         &process) == 0) {
        return -1;
    }
    ::WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

class WineInstalledCopy : public testing::Test {
  protected:
    void SetUp() override {
        const char* lane = std::getenv("QUORVEL_WINE_COM");
        if (lane == nullptr || *lane == '\0') {
            GTEST_SKIP() << "only in the Wine lane's own prefix: it writes %APPDATA%\\Quorvel";
        }
        ASSERT_TRUE(fs::is_regular_file(Probe)) << Probe;
        ASSERT_FALSE(ProgramFiles.empty());
        ASSERT_FALSE(AppData.empty());
        std::random_device random;
        Installed = ProgramFiles / ("QuorvelProbe" + std::to_string(random()));
        fs::create_directories(Installed);
        if (fs::exists(UserFile)) {
            Saved = UserFile;
            Saved += L".before-test";
            fs::rename(UserFile, Saved);
        }
    }
    void TearDown() override {
        std::error_code ignored;
        if (!Installed.empty()) {
            fs::remove_all(Installed, ignored);
        }
        fs::remove(UserFile, ignored);
        if (!Saved.empty()) {
            fs::rename(Saved, UserFile, ignored);
        }
    }

    const fs::path Probe = BesideThisProgram(L"settings_place_probe.exe");
    const fs::path ProgramFiles = KnownFolder(FOLDERID_ProgramFiles);
    const fs::path AppData = KnownFolder(FOLDERID_RoamingAppData);
    const fs::path UserFile = AppData / L"Quorvel" / L"quorvel.ini";
    fs::path Installed;
    fs::path Saved;
};

TEST_F(WineInstalledCopy, SettingsGoToAppDataAndTheAdministratorsFileIsOnlyRead) {
    fs::copy_file(Probe, Installed / L"quorvel.exe");
    const std::string admin = "[Quorvel]\r\nLeft=100\r\nPort=COM3\r\nBaudrate=9600\r\n";
    WriteFile(TempFolder::Utf8(Installed / L"quorvel.ini"), admin);

    ASSERT_EQ(RunProgram(Installed / L"quorvel.exe"), 0);
    ASSERT_TRUE(fs::is_regular_file(UserFile)) << "no settings in %APPDATA%\\Quorvel";
    const std::string first = ReadFile(TempFolder::Utf8(UserFile));
    EXPECT_NE(first.find("Left=101\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("Port=COM3\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("Baudrate=9600\r\n"), std::string::npos) << first;

    ASSERT_EQ(RunProgram(Installed / L"quorvel.exe"), 0);
    EXPECT_NE(ReadFile(TempFolder::Utf8(UserFile)).find("Left=102\r\n"), std::string::npos)
        << "the second start did not read the user's own file";
    EXPECT_EQ(ReadFile(TempFolder::Utf8(Installed / L"quorvel.ini")), admin);
    EXPECT_EQ(EntriesIn(Installed), 2U) << "something was written under Program Files";
}

TEST_F(WineInstalledCopy, WithoutAnAdministratorsFileTheUserStartsFromTheDefaults) {
    fs::copy_file(Probe, Installed / L"quorvel.exe");
    ASSERT_EQ(RunProgram(Installed / L"quorvel.exe"), 0);
    EXPECT_NE(ReadFile(TempFolder::Utf8(UserFile)).find("Left=51\r\n"), std::string::npos);
    EXPECT_EQ(EntriesIn(Installed), 1U) << "something was written under Program Files";
}

TEST_F(WineInstalledCopy, PortableCopyElsewhereKeepsItsSettingsBesideIt) {
    TempFolder portable;
    const fs::path folder = TempFolder::Path(portable.Folder()) / L"quorvel-win64";
    fs::create_directories(folder);
    fs::copy_file(Probe, folder / L"quorvel.exe");
    WriteFile(TempFolder::Utf8(folder / L"quorvel.ini"), "[Quorvel]\r\nLeft=7\r\n");
    ASSERT_EQ(RunProgram(folder / L"quorvel.exe"), 0);
    EXPECT_NE(ReadFile(TempFolder::Utf8(folder / L"quorvel.ini")).find("Left=8\r\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(UserFile)) << "a portable copy wrote to %APPDATA%";
}

} // namespace
} // namespace quorvel
