#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace quorvel {
namespace {

using test::TempFolder;
using test::WriteFile;

TSettings ReadFrom(const std::string& content) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, content);
    return ReadSettingsFile(path);
}

TEST(SettingsRead, MissingFileGivesEveryDefault) {
    TempFolder folder;
    const TSettings s = ReadSettingsFile(folder.File("absent.ini"));
    EXPECT_EQ(s.Left, 50);
    EXPECT_EQ(s.Top, 50);
    EXPECT_EQ(s.Port, "");
    EXPECT_EQ(s.Baudrate, 38400U);
    EXPECT_EQ(s.Mode, ModeASCII);
    EXPECT_EQ(s.Address, 1);
    EXPECT_EQ(s.TimerASCII, 55);
    EXPECT_EQ(s.TimerRTU, 4);
    EXPECT_FALSE(s.Diagram);
    EXPECT_EQ(s.Max, 5);
    EXPECT_FALSE(s.Messages);
    EXPECT_EQ(s.PollInterval, 0);
}

TEST(SettingsRead, EmptySectionAndForeignSectionsGiveDefaults) {
    const TSettings s = ReadFrom("[Other]\nLeft=7\nBaudrate=9600\n[Quorvel]\n");
    EXPECT_EQ(s.Left, 50);
    EXPECT_EQ(s.Baudrate, 38400U);
}

struct KeyCase {
    const char* Line;
    std::function<std::int64_t(const TSettings&)> Field;
    std::int64_t Expected;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.Line;
}

class SettingsKeyLine : public testing::TestWithParam<KeyCase> {};

TEST_P(SettingsKeyLine, LoadsAsStored) {
    const TSettings s = ReadFrom(std::string("[Quorvel]\n") + GetParam().Line + "\n");
    EXPECT_EQ(GetParam().Field(s), GetParam().Expected) << GetParam().Line;
}

const auto Left = [](const TSettings& s) -> std::int64_t { return s.Left; };
const auto Top = [](const TSettings& s) -> std::int64_t { return s.Top; };
const auto Baud = [](const TSettings& s) -> std::int64_t { return s.Baudrate; };
const auto Mode = [](const TSettings& s) -> std::int64_t { return s.Mode; };
const auto Address = [](const TSettings& s) -> std::int64_t { return s.Address; };
const auto Ascii = [](const TSettings& s) -> std::int64_t { return s.TimerASCII; };
const auto Rtu = [](const TSettings& s) -> std::int64_t { return s.TimerRTU; };
const auto Max = [](const TSettings& s) -> std::int64_t { return s.Max; };
const auto Diagram = [](const TSettings& s) -> std::int64_t { return s.Diagram; };
const auto Messages = [](const TSettings& s) -> std::int64_t { return s.Messages; };

INSTANTIATE_TEST_SUITE_P(
    EdgesOfTheFile, SettingsKeyLine,
    testing::Values(
        // Window edges: negative loads as 0, judged on the 16-bit field.
        KeyCase{"Left=-20", Left, 0}, KeyCase{"Top=-1", Top, 0}, KeyCase{"Left=120", Left, 120},
        KeyCase{"Left=40000", Left, 0}, KeyCase{"Top=70000", Top, 70000 - 65536},
        KeyCase{"Left=", Left, 50}, KeyCase{"Top=abc", Top, 50},
        // Address is stored raw (low 8 bits); the window limits it to 0..16.
        KeyCase{"Address=17", Address, 17}, KeyCase{"Address=257", Address, 1},
        KeyCase{"Address=-1", Address, 255},
        // Baud rates outside the list load as stored; hexadecimal after "0x".
        KeyCase{"Baudrate=57600", Baud, 57600}, KeyCase{"Baudrate=0x9600", Baud, 38400},
        KeyCase{"Baudrate=500000", Baud, 500000}, KeyCase{"Baudrate=", Baud, 38400},
        KeyCase{"Baudrate=fast", Baud, 38400}, KeyCase{"Baudrate=0x", Baud, 38400},
        KeyCase{"Baudrate=99999999999", Baud, 38400}, KeyCase{"Baudrate=-1", Baud, 0xFFFFFFFFLL},
        // Mode is stored raw; the window turns anything but 4 into 3.
        KeyCase{"Mode=7", Mode, 7}, KeyCase{"Mode=4", Mode, 4}, KeyCase{"Mode=x", Mode, 3},
        KeyCase{"TimerASCII=65546", Ascii, 10}, KeyCase{"TimerRTU= 12 ", Rtu, 12},
        KeyCase{"TimerRTU=0x10", Rtu, 16}, KeyCase{"Max=-1", Max, 255}, KeyCase{"Max=9", Max, 9},
        // Flags: any nonzero integer is true, anything unreadable false.
        KeyCase{"Diagram=1", Diagram, 1}, KeyCase{"Diagram=2", Diagram, 1},
        KeyCase{"Diagram=0x1", Diagram, 1}, KeyCase{"Diagram=yes", Diagram, 0},
        KeyCase{"Messages=-5", Messages, 1}, KeyCase{"Messages=0", Messages, 0},
        // Names match regardless of case.
        KeyCase{"left=33", Left, 33}, KeyCase{"BAUDRATE=9600", Baud, 9600}));

TEST(SettingsRead, DiagramAndMessagesMayBothBeTrue) {
    const TSettings s = ReadFrom("[Quorvel]\nDiagram=1\nMessages=1\n");
    EXPECT_TRUE(s.Diagram);
    EXPECT_TRUE(s.Messages);
}

TEST(SettingsRead, PortTextIsKeptAndCutAtMaximumLength) {
    EXPECT_EQ(ReadFrom("[Quorvel]\nPort=USB2\n").Port, "USB2");
    const std::string longName(3000, 'P');
    EXPECT_EQ(ReadFrom("[Quorvel]\nPort=" + longName + "\n").Port.size(), 2047U);
}

TEST(SettingsRead, SectionNameMatchesRegardlessOfCaseAndCrLfLines) {
    const TSettings s = ReadFrom("[QUORVEL]\r\nLeft=11\r\nPort=COM4\r\n");
    EXPECT_EQ(s.Left, 11);
    EXPECT_EQ(s.Port, "COM4");
}

struct PathCase {
    const char* Executable;
    const char* Expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.Executable;
}

class SettingsPath : public testing::TestWithParam<PathCase> {};

TEST_P(SettingsPath, ReplacesOrAppendsTheExtension) {
    EXPECT_EQ(SettingsFilePath(GetParam().Executable), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Names, SettingsPath,
                         testing::Values(PathCase{"/opt/q/quorvel", "/opt/q/quorvel.ini"},
                                         PathCase{"/opt/q/quorvel.exe", "/opt/q/quorvel.ini"},
                                         PathCase{"/opt/q.d/quorvel", "/opt/q.d/quorvel.ini"},
                                         PathCase{"C:\\Prog\\v1.2\\Quorvel.exe",
                                                  "C:\\Prog\\v1.2\\Quorvel.ini"},
                                         PathCase{"quorvel.bin.exe", "quorvel.bin.ini"}));

} // namespace
} // namespace quorvel
