// Choosing the settings files from the facts: a portable copy keeps its file beside the program;
// an installed copy reads the administrator's file beside it only while the user has none of
// their own, and writes only the user's own.
#include "SettingsLocation.h"
#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

SettingsPlaceFacts Installed() {
    SettingsPlaceFacts facts;
    facts.BesidePath = "/usr/local/lib/quorvel/quorvel.ini";
    facts.Installed = true;
    facts.UserFolder = "/home/gabor/.config/quorvel";
    return facts;
}

TEST(SettingsPlace, PortableCopyReadsAndWritesTheFileBesideTheProgram) {
    for (const bool fileThere : {false, true}) {
        SettingsPlaceFacts facts = Installed();
        facts.Installed = false;
        facts.BesideFileExists = fileThere;
        facts.UserFileExists = true;
        const SettingsFiles files = ChooseSettingsFiles(facts);
        EXPECT_EQ(files.ReadPath, facts.BesidePath);
        EXPECT_EQ(files.WritePath, facts.BesidePath);
        EXPECT_TRUE(files.Note.empty());
    }
}

TEST(SettingsPlace, InstalledCopyWithoutAnyFileStartsAndSavesInTheUsersFolder) {
    const SettingsFiles files = ChooseSettingsFiles(Installed());
    EXPECT_EQ(files.ReadPath, "/home/gabor/.config/quorvel/quorvel.ini");
    EXPECT_EQ(files.WritePath, "/home/gabor/.config/quorvel/quorvel.ini");
    EXPECT_TRUE(files.Note.empty());
}

// The administrator's file beside an installed program is never written, by anyone (root
// included: the program's folder is not root's own either when it is the package manager's).
TEST(SettingsPlace, AdministratorsFileGivesTheStartingValuesAndIsNeverWritten) {
    SettingsPlaceFacts facts = Installed();
    facts.BesideFileExists = true;
    const SettingsFiles first = ChooseSettingsFiles(facts);
    EXPECT_EQ(first.ReadPath, facts.BesidePath);
    EXPECT_EQ(first.WritePath, "/home/gabor/.config/quorvel/quorvel.ini");
    facts.UserFileExists = true;
    const SettingsFiles later = ChooseSettingsFiles(facts);
    EXPECT_EQ(later.ReadPath, "/home/gabor/.config/quorvel/quorvel.ini");
    EXPECT_EQ(later.WritePath, "/home/gabor/.config/quorvel/quorvel.ini");
}

TEST(SettingsPlace, WindowsFoldersKeepTheirBackslashes) {
    SettingsPlaceFacts facts;
    facts.BesidePath = "C:\\Program Files\\Quorvel\\quorvel.ini";
    facts.Installed = true;
    facts.UserFolder = "C:\\Users\\G\xC3\xA1"
                       "bor\\AppData\\Roaming\\Quorvel";
    EXPECT_EQ(ChooseSettingsFiles(facts).WritePath, "C:\\Users\\G\xC3\xA1"
                                                    "bor\\AppData\\Roaming\\Quorvel\\quorvel.ini");
}

TEST(SettingsPlace, NoFolderOfTheUsersOwnMeansNothingIsSavedAndSaySo) {
    SettingsPlaceFacts facts = Installed();
    facts.UserFolder.reset();
    facts.UserFolderNote = "/home/gabor/.config/quorvel is not this user's";
    facts.BesideFileExists = true;
    const SettingsFiles files = ChooseSettingsFiles(facts);
    EXPECT_EQ(files.ReadPath, facts.BesidePath);
    EXPECT_TRUE(files.WritePath.empty());
    EXPECT_NE(files.Note.find("is not this user's"), std::string::npos) << files.Note;
    EXPECT_NE(files.Note.find("not be saved"), std::string::npos) << files.Note;
}

TEST(SettingsPlace, AFolderPassedOverIsNamedWithWhereTheSettingsGoInstead) {
    SettingsPlaceFacts facts = Installed();
    facts.UserFolderNote = "XDG_CONFIG_HOME /home/anna/.config is not this user's";
    const SettingsFiles files = ChooseSettingsFiles(facts);
    EXPECT_NE(files.Note.find("/home/anna/.config"), std::string::npos) << files.Note;
    EXPECT_NE(files.Note.find("/home/gabor/.config/quorvel/quorvel.ini"), std::string::npos)
        << files.Note;
}

// The whole way for an installed copy, through real files: the administrator's values are the
// start, the user's own file gets them with the user's changes, the administrator's stays as it
// was, and from then on the user's own file is read.
TEST(SettingsPlace, InstalledCopyStartsFromTheAdministratorsFileAndKeepsTheUsersOwn) {
    TempFolder program;
    TempFolder config;
    const std::string admin = "[Quorvel]\nPort=COM3\nBaudrate=9600\nMode=4\n";
    WriteFile(program.File("quorvel.ini"), admin);
    const std::string userFolder = config.File("quorvel");
    const SettingsPlaceRules installed{[](const std::string&) { return true; },
                                       [&](std::string&) { return userFolder; }};
    const SettingsFiles first =
        ChooseSettingsFiles(GatherSettingsPlaceFacts(program.File("quorvel"), installed));
    TSettings settings = LoadSettingsFile(first);
    EXPECT_EQ(settings.Port, "COM3");
    EXPECT_EQ(settings.Baudrate, 9600U);
    settings.Left = 222;
    ASSERT_TRUE(SaveSettingsFile(first, settings));
    EXPECT_EQ(ReadFile(program.File("quorvel.ini")), admin);
    EXPECT_EQ(program.EntryCount(), 1U);

    WriteFile(program.File("quorvel.ini"), "[Quorvel]\nPort=COM9\n");
    const SettingsFiles later =
        ChooseSettingsFiles(GatherSettingsPlaceFacts(program.File("quorvel"), installed));
    const TSettings again = LoadSettingsFile(later);
    EXPECT_EQ(again.Port, "COM3") << "the user's own file was not read";
    EXPECT_EQ(again.Left, 222);
    EXPECT_EQ(again.Mode, ModeRTU);
}

TEST(SettingsPlace, SaveWithNoFolderOfTheUsersOwnFailsAndWritesNothing) {
    TempFolder program;
    WriteFile(program.File("quorvel.ini"), "[Quorvel]\nPort=COM3\n");
    const SettingsFiles files = ChooseSettingsFiles(
        GatherSettingsPlaceFacts(program.File("quorvel"), {[](const std::string&) { return true; },
                                                           [](std::string& note) {
                                                               note = "no home";
                                                               return std::optional<std::string>();
                                                           }}));
    EXPECT_EQ(LoadSettingsFile(files).Port, "COM3");
    EXPECT_EQ(SaveSettingsFile(files, {}).Outcome, ReplaceOutcome::Failed);
    EXPECT_EQ(ReadFile(program.File("quorvel.ini")), "[Quorvel]\nPort=COM3\n");
}

} // namespace
} // namespace quorvel
