// Windows only, run under Wine: a settings folder with non-ASCII letters reached through the wide
// file functions, CR LF line ends, ReplaceFileW keeping the file's attributes, the program's own
// path from GetModuleFileNameW, and where an installed copy keeps its settings.
#include "FileAccess.h"
#include "Functionsload.h"
#include "SettingsLocationWin32.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <filesystem>
#include <string>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// "Gábor Kőrösi": "ő" is in no Western code page, so an ANSI call cannot even spell it.
const std::string UserFolder = "G\xC3\xA1"
                               "bor K\xC5\x91r\xC3\xB6si";

std::wstring Wide(const std::string& utf8) {
    return TempFolder::Path(utf8).wstring();
}

TEST(SettingsWin32, FolderWithNonAsciiLettersIsReadAndWritten) {
    TempFolder root;
    const std::string folder = root.File(UserFolder + "\\Quorvel");
    ASSERT_TRUE(std::filesystem::create_directories(TempFolder::Path(folder)));
    const std::string path = folder + "\\quorvel.ini";
    WriteFile(path, "[Quorvel]\r\nPort=COM7\r\nBaudrate=9600\r\n");
    TSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.Port, "COM7") << "the file was not found at start";
    EXPECT_EQ(settings.Baudrate, 9600U);
    settings.Left = 321;
    const ReplaceResult saved = WriteSettingsFile(path, settings);
    ASSERT_TRUE(saved) << saved.Reason;
    EXPECT_EQ(ReadSettingsFile(path).Left, 321);
    EXPECT_EQ(root.EntryCount(), 1U) << "something was written under a garbled name";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(TempFolder::Path(folder)),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(SettingsWin32, NewFileInANonAsciiFolderIsCreatedThere) {
    TempFolder root;
    const std::string path = root.File(UserFolder + "\\quorvel.ini");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    EXPECT_TRUE(std::filesystem::is_regular_file(TempFolder::Path(path)));
    EXPECT_EQ(root.EntryCount(), 1U);
}

TEST(SettingsWin32, WrittenFileHasCrLfOnEveryLine) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    EXPECT_EQ(ReadFile(path), "[Quorvel]\r\nLeft=50\r\nTop=50\r\nPort=\r\nBaudrate=38400\r\n"
                              "Mode=3\r\nAddress=1\r\nTimerASCII=55\r\nTimerRTU=4\r\nDiagram=0\r\n"
                              "Max=5\r\nMessages=0\r\n");
    WriteFile(path, "[Other]\nk=v\n[Quorvel]\nLeft=9\n; note\n");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    EXPECT_EQ(ReadFile(path).rfind("[Other]\r\nk=v\r\n[Quorvel]\r\nLeft=9\r\nTop=50\r\n", 0), 0U);
    EXPECT_EQ(ReadFile(path).find("\n; note\r\n") != std::string::npos, true);
}

TEST(SettingsWin32, ReplaceKeepsTheFilesAttributes) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[Quorvel]\r\n");
    ASSERT_NE(
        ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
        0);
    ASSERT_TRUE(ReplaceFileContent(path, "[Quorvel]\r\nLeft=1\r\n"));
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0U);
    EXPECT_EQ(ReadFile(path), "[Quorvel]\r\nLeft=1\r\n");
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(SettingsWin32, ReadOnlyAttributeIsHonoured) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[Quorvel]\r\nLeft=5\r\n");
    ASSERT_NE(::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_READONLY), 0);
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_EQ(WriteSettingsFile(path, TSettings{}).Outcome, ReplaceOutcome::ReadOnly);
    EXPECT_EQ(ReadFile(path), "[Quorvel]\r\nLeft=5\r\n");
    ::SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(SettingsWin32, ExecutablePathComesFromTheModuleAndTheFileBesideIt) {
    const std::string executable = ExecutableFilePath();
    ASSERT_FALSE(executable.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(TempFolder::Path(executable))) << executable;
    EXPECT_EQ(executable.substr(executable.size() - 18), "settings_tests.exe") << executable;
    const SettingsFiles files = LocateSettingsFiles(executable);
    EXPECT_EQ(files.WritePath, executable.substr(0, executable.size() - 4) + ".ini");
    EXPECT_EQ(files.ReadPath, files.WritePath);
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = TempFolder::Utf8(std::filesystem::path(path));
    }
    ::CoTaskMemFree(path);
    return folder;
}

// Decided by the place, not by whether the folder can be written: an administrator, and Wine,
// may write to Program Files.
TEST(SettingsPlaceWin32, ProgramFilesFoldersHoldInstalledCopies) {
    const std::string programFiles = KnownFolder(FOLDERID_ProgramFiles);
    ASSERT_FALSE(programFiles.empty());
    EXPECT_TRUE(IsUnderProgramFiles(programFiles + "\\Quorvel"));
    EXPECT_TRUE(IsUnderProgramFiles(programFiles + "\\Quorvel\\bin\\"));
    EXPECT_TRUE(IsUnderProgramFiles(programFiles));
    std::string shouted = programFiles + "/QUORVEL";
    for (char& c : shouted) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    EXPECT_TRUE(IsUnderProgramFiles(shouted)) << shouted;
    const std::string x86 = KnownFolder(FOLDERID_ProgramFilesX86);
    if (!x86.empty()) {
        EXPECT_TRUE(IsUnderProgramFiles(x86 + "\\Quorvel"));
    }
    EXPECT_FALSE(IsUnderProgramFiles(programFiles + " Extra\\Quorvel"));
    EXPECT_FALSE(IsUnderProgramFiles(programFiles.substr(0, programFiles.size() - 1)));
    TempFolder portable;
    EXPECT_FALSE(IsUnderProgramFiles(portable.Folder()));
    EXPECT_FALSE(IsUnderProgramFiles(KnownFolder(FOLDERID_RoamingAppData)));
}

TEST(SettingsPlaceWin32, InstalledCopyKeepsEachUsersSettingsInRoamingAppData) {
    const std::string programFiles = KnownFolder(FOLDERID_ProgramFiles);
    const std::string appData = KnownFolder(FOLDERID_RoamingAppData);
    ASSERT_FALSE(appData.empty());
    EXPECT_EQ(UserSettingsFolder(), appData + "\\Quorvel");
    const SettingsPlaceFacts facts =
        SettingsPlaceFactsFor(programFiles + "\\QuorvelAbsent\\quorvel.exe");
    EXPECT_TRUE(facts.Installed);
    EXPECT_EQ(facts.BesidePath, programFiles + "\\QuorvelAbsent\\quorvel.ini");
    const SettingsFiles files = ChooseSettingsFiles(facts);
    EXPECT_EQ(files.WritePath, appData + "\\Quorvel\\quorvel.ini");
    TempFolder portable;
    const SettingsFiles zip = LocateSettingsFiles(portable.File("quorvel-win64\\quorvel.exe"));
    EXPECT_EQ(zip.WritePath, portable.File("quorvel-win64\\quorvel.ini"));
}

} // namespace
} // namespace quorvel
