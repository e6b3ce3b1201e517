#include "FileAccess.h"
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

// The text with the line ends this platform writes into a file that had none (Windows: CR LF
// on every line).
std::string Native(const std::string& text) {
    const std::string_view end = LineEndForWriting("").End;
    std::string native;
    for (const char c : text) {
        c == '\n' ? native.append(end) : native.append(1, c);
    }
    return native;
}

const std::string DefaultFile = "[Quorvel]\nLeft=50\nTop=50\nPort=\nBaudrate=38400\nMode=3\n"
                                "Address=1\nTimerASCII=55\nTimerRTU=4\nDiagram=0\nMax=5\n"
                                "Messages=0\n";

TEST(SettingsWrite, DefaultsRoundTripToTheDefaultFile) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(path)));
    EXPECT_EQ(ReadFile(path), Native(DefaultFile));
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
    EXPECT_NE(ReadFile(path).find(Native("\nLeft=-20\n")), std::string::npos);
    EXPECT_EQ(ReadSettingsFile(path).Left, 0);
}

TEST(SettingsWrite, ReplacesOwnSectionInPlaceAndKeepsOthers) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[First]\na=1\n[Quorvel]\nLeft=1\nStale=9\n[Last]\nb=2\n");
    ASSERT_TRUE(WriteSettingsFile(path, ReadSettingsFile(folder.File("absent.ini"))));
    EXPECT_EQ(ReadFile(path), Native("[First]\na=1\n" + DefaultFile + "[Last]\nb=2\n"));
}

TEST(SettingsWrite, CommentsAndBlankLinesInTheSectionAreKept) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "[Quorvel]\n; lab PC, do not change\nLeft=1\nTop=2\n\n; the drive\n"
                    "Port=COM3\nBaudrate=\"9600\"\nUnknown=1\n\n[Other]\nx=1\n");
    TSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.Baudrate, 9600U) << "quotes around a value are not part of it";
    settings.Left = 7;
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    EXPECT_EQ(ReadFile(path),
              Native("[Quorvel]\n; lab PC, do not change\nLeft=7\nTop=2\n\n; the drive\n"
                     "Port=COM3\nBaudrate=9600\nMode=3\nAddress=1\nTimerASCII=55\n"
                     "TimerRTU=4\nDiagram=0\nMax=5\nMessages=0\n\n[Other]\nx=1\n"));
}

// Notepad's "Unicode": UTF-16 LE with a byte order mark.
std::string Utf16LE(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

TEST(SettingsWrite, UnicodeFileIsReadAndWrittenBackInTheSameEncoding) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, Utf16LE("[Other]\r\nk=v\r\n[Quorvel]\r\n; mine\r\nBaudrate=9600\r\n"
                            "Port=\"COM7\"\r\n"));
    TSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.Baudrate, 9600U);
    EXPECT_EQ(settings.Port, "COM7");
    settings.Top = 12;
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    EXPECT_EQ(ReadFile(path),
              Utf16LE("[Other]\r\nk=v\r\n[Quorvel]\r\n; mine\r\nLeft=50\r\nTop=12\r\n"
                      "Port=COM7\r\nBaudrate=9600\r\nMode=3\r\nAddress=1\r\nTimerASCII=55\r\n"
                      "TimerRTU=4\r\nDiagram=0\r\nMax=5\r\nMessages=0\r\n"));
}

TEST(SettingsWrite, NonAsciiPortNameInAUnicodeFileStaysUnicode) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, Utf16LE("[Quorvel]\r\n"));
    TSettings settings = ReadSettingsFile(path);
    settings.Port = "Soros\xC5\x91"; // "Soroső"
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    const std::string bytes = ReadFile(path);
    EXPECT_NE(bytes.find(std::string("P\0o\0r\0t\0=\0S\0o\0r\0o\0s\0\x51\x01\r\0", 24)),
              std::string::npos);
    EXPECT_EQ(ReadSettingsFile(path).Port, settings.Port);
}

TEST(SettingsWrite, Utf8FileWithMarkKeepsItsMark) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, "\xEF\xBB\xBF[Quorvel]\nLeft=33\n");
    TSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.Left, 33) << "the mark must not hide the section header";
    ASSERT_TRUE(WriteSettingsFile(path, settings));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind(Native("\xEF\xBB\xBF[Quorvel]\nLeft=33\nTop=50\n"), 0), 0U) << text;
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

TEST(SettingsWrite, MissingFolderIsCreatedWhereOneCanBe) {
    TempFolder folder;
    EXPECT_TRUE(WriteSettingsFile(folder.File("no/such/quorvel.ini"), TSettings{}));
    EXPECT_NE(ReadFile(folder.File("no/such/quorvel.ini")).find("[Quorvel]"), std::string::npos);
    WriteFile(folder.File("file"), "x");
    EXPECT_FALSE(WriteSettingsFile(folder.File("file/quorvel.ini"), TSettings{}));
    EXPECT_EQ(ReadFile(folder.File("file")), "x");
}

} // namespace
} // namespace quorvel
