#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

const std::string DefaultFile = "[Quorvel]\nLeft=50\nTop=50\nPort=\nBaudrate=38400\nMode=3\n"
                                "Address=1\nTimerASCII=55\nTimerRTU=4\nDiagram=0\nMax=5\n"
                                "Messages=0\n";

TEST(SettingsWrite, DefaultsRoundTripToTheDefaultFile) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    EXPECT_EQ(ReadFile(path), DefaultFile);
}

TEST(SettingsWrite, EveryFieldReadsBackAsWritten) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    TSettings written;
    written.Left = 640;
    written.Top = 7;
    written.Port = "USB1";
    written.Baudrate = 520833;
    written.Mode = ModeRTU;
    written.Address = 16;
    written.TimerASCII = 10000;
    written.TimerRTU = 65535;
    written.Diagram = true;
    written.Max = 9;
    written.Messages = true;
    written.PollInterval = 123;
    ASSERT_TRUE(WriteSettingsFile(path, written));
    const TSettings read = ReadSettingsFile(path);
    EXPECT_EQ(read.Left, written.Left);
    EXPECT_EQ(read.Top, written.Top);
    EXPECT_EQ(read.Port, written.Port);
    EXPECT_EQ(read.Baudrate, written.Baudrate);
    EXPECT_EQ(read.Mode, written.Mode);
    EXPECT_EQ(read.Address, written.Address);
    EXPECT_EQ(read.TimerASCII, written.TimerASCII);
    EXPECT_EQ(read.TimerRTU, written.TimerRTU);
    EXPECT_EQ(read.Diagram, written.Diagram);
    EXPECT_EQ(read.Max, written.Max);
    EXPECT_EQ(read.Messages, written.Messages);
    EXPECT_EQ(read.PollInterval, 0) << "the poll interval is never stored";
}

TEST(SettingsWrite, NegativeEdgeIsStoredWithSignAndLoadsAsZero) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    TSettings settings = ReadSettingsFile(path);
    settings.Left = -20;
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    EXPECT_NE(ReadFile(path).find("\nLeft=-20\n"), std::string::npos);
    EXPECT_EQ(ReadSettingsFile(path).Left, 0);
}

TEST(SettingsWrite, ReplacesOwnSectionAndKeepsOthersInOrder) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[First]\na=1\n[Quorvel]\nLeft=1\nStale=9\n[Last]\nb=2\n");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(folder.File("absent.ini"))));
    EXPECT_EQ(ReadFile(path), "[First]\na=1\n[Last]\nb=2\n" + DefaultFile);
}

TEST(SettingsWrite, ReadOnlyFileFailsAndKeepsItsContent) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    const std::string old = "[Quorvel]\nLeft=300\n";
    WriteFile(path, old);
    using std::filesystem::perms;
    test::SetPermissions(path, perms::owner_read | perms::group_read | perms::others_read);
    EXPECT_FALSE(WriteSettingsFile(path, ReadSettingsFile(folder.File("absent.ini"))));
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(SettingsWrite, MissingFolderFails) {
    TempFolder folder;
    EXPECT_FALSE(WriteSettingsFile(folder.File("no/such/quorvel.ini"), TSettings{}));
}

} // namespace
} // namespace quorvel
