// Choosing the settings file's place from the facts: portable copies keep it beside the program.
#include "SettingsLocation.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

SettingsPlaceFacts Installed() {
    SettingsPlaceFacts facts;
    facts.BesidePath = "/usr/bin/quorvel.ini";
    facts.Home = "/home/gabor";
    return facts;
}

TEST(SettingsPlace, InstalledProgramUsesTheUsersConfigFolder) {
    SettingsPlaceFacts facts = Installed();
    EXPECT_EQ(ChooseSettingsFile(facts), "/home/gabor/.config/quorvel/quorvel.ini");
    facts.XdgConfigHome = "/srv/cfg";
    EXPECT_EQ(ChooseSettingsFile(facts), "/srv/cfg/quorvel/quorvel.ini");
}

TEST(SettingsPlace, EmptyOrRelativeXdgConfigHomeIsIgnored) {
    for (const char* xdg : {"", "cfg", "./cfg", "~/cfg"}) {
        SettingsPlaceFacts facts = Installed();
        facts.XdgConfigHome = xdg;
        EXPECT_EQ(ChooseSettingsFile(facts), "/home/gabor/.config/quorvel/quorvel.ini") << xdg;
    }
}

TEST(SettingsPlace, PortableCopyKeepsTheFileBesideTheProgram) {
    SettingsPlaceFacts writable = Installed();
    writable.XdgConfigHome = "/srv/cfg";
    writable.FolderWritable = true;
    EXPECT_EQ(ChooseSettingsFile(writable), "/usr/bin/quorvel.ini");
    SettingsPlaceFacts fileThere = Installed();
    fileThere.XdgConfigHome = "/srv/cfg";
    fileThere.BesideFileExists = true;
    EXPECT_EQ(ChooseSettingsFile(fileThere), "/usr/bin/quorvel.ini");
}

TEST(SettingsPlace, NoHomeAtAllFallsBackBesideTheProgram) {
    SettingsPlaceFacts facts = Installed();
    facts.Home.reset();
    EXPECT_EQ(ChooseSettingsFile(facts), "/usr/bin/quorvel.ini");
    facts.Home = "relative";
    EXPECT_EQ(ChooseSettingsFile(facts), "/usr/bin/quorvel.ini");
}

} // namespace
} // namespace quorvel
