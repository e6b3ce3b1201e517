// Replacing a whole file: atomic, never half written, write protection honoured; every platform.
#include "FileAccess.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace quorvel {
namespace {

using test::Permissions;
using test::ReadFile;
using test::SetPermissions;
using test::TempFolder;
using test::WriteFile;

const std::string OldContent = "[Quorvel]\nLeft=10\nTop=20\n";
const std::string NewContent(4096, 'n');

TEST(FileReplace, WritesNewFileWhenNoneExists) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    EXPECT_TRUE(ReplaceFileContent(path, NewContent));
    EXPECT_EQ(ReadFile(path), NewContent);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(FileReplace, FullDiskHalfWayLeavesOldFileWholeAndNoTemporary) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    std::size_t written = 0;
    const WriteLimit halfThenFull = [&](std::size_t size) {
        if (written >= NewContent.size() / 2) {
            return std::size_t{0};
        }
        const std::size_t chunk = std::min<std::size_t>(size, 100);
        written += chunk;
        return chunk;
    };
    const ReplaceResult result = ReplaceFileContent(path, NewContent, halfThenFull);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Failed) << result.Reason;
    EXPECT_GE(written, NewContent.size() / 2);
    EXPECT_EQ(ReadFile(path), OldContent);
    EXPECT_EQ(folder.EntryCount(), 1U) << "temporary file left behind";
}

TEST(FileReplace, ShortWritesAreContinued) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    EXPECT_TRUE(ReplaceFileContent(path, NewContent, [](std::size_t) { return 10U; }));
    EXPECT_EQ(ReadFile(path), NewContent);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(FileReplace, ReadOnlyFileIsNeverReplaced) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    SetPermissions(path, test::perms::owner_read | test::perms::group_read);
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_EQ(ReplaceFileContent(path, NewContent).Outcome, ReplaceOutcome::ReadOnly);
    EXPECT_EQ(ReadFile(path), OldContent);
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(FileReplace, ReplacesTheFileALinkNamesAndKeepsTheLink) {
    TempFolder folder;
    const auto target = folder.File("real.ini");
    const auto link = folder.File("link.ini");
    WriteFile(target, OldContent);
    std::error_code error;
    std::filesystem::create_symlink(TempFolder::Path(target), TempFolder::Path(link), error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    EXPECT_TRUE(ReplaceFileContent(link, NewContent));
    EXPECT_TRUE(std::filesystem::is_symlink(TempFolder::Path(link)));
    EXPECT_EQ(ReadFile(target), NewContent);
}

TEST(FileReplace, FailsWhenFolderIsMissingOrPathIsAFolder) {
    TempFolder folder;
    EXPECT_FALSE(ReplaceFileContent(folder.File("missing/q.ini"), NewContent));
    std::filesystem::create_directory(TempFolder::Path(folder.File("sub")));
    EXPECT_FALSE(ReplaceFileContent(folder.File("sub"), NewContent));
    EXPECT_TRUE(std::filesystem::is_directory(TempFolder::Path(folder.File("sub"))));
    EXPECT_EQ(folder.EntryCount(), 1U);
}

// A crash or power cut between writing a temporary file and swapping it in leaves it behind. The
// next save removes those of its own, older ones only: a fresh one may be another console's,
// saving at this moment. Windows builds before named them without the leading dot.
TEST(FileReplace, TemporaryFilesThatEarlierSavesLeftGoAtTheNextSave) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    WriteFile(path, OldContent);
    const std::vector<std::string> stale{".quorvel.ini.tmp123", "quorvel.ini.tmp4567"};
    const std::vector<std::string> kept{".quorvel.ini.tmp89", "other.ini.tmp1", "quorvel.ini.bak",
                                        ".quorvel.ini.tmpx"};
    const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& name : stale) {
        WriteFile(folder.File(name), "left over");
        std::filesystem::last_write_time(TempFolder::Path(folder.File(name)), anHourAgo);
    }
    for (const auto& name : kept) {
        WriteFile(folder.File(name), "not ours, or in use");
        if (name != kept.front()) {
            std::filesystem::last_write_time(TempFolder::Path(folder.File(name)), anHourAgo);
        }
    }
    ASSERT_TRUE(ReplaceFileContent(path, NewContent));
    for (const auto& name : stale) {
        EXPECT_FALSE(std::filesystem::exists(TempFolder::Path(folder.File(name)))) << name;
    }
    for (const auto& name : kept) {
        EXPECT_TRUE(std::filesystem::exists(TempFolder::Path(folder.File(name)))) << name;
    }
    EXPECT_EQ(folder.EntryCount(), 1U + kept.size());
}

TEST(FileReplace, ReadsBackWhatWasWrittenAndNothingForAFolder) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    EXPECT_FALSE(ReadFileBytes(path).has_value());
    EXPECT_FALSE(FileExists(path));
    const std::string bytes("a\0b\r\n\xFF", 6);
    WriteFile(path, bytes);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ReadFileBytes(path), bytes);
    EXPECT_FALSE(ReadFileBytes(folder.Folder()).has_value());
}

TEST(FileReplace, CreatesMissingFoldersOnlyWhereAFolderCanBe) {
    TempFolder folder;
    EXPECT_TRUE(CreateFolders(folder.File("a/b/c")));
    EXPECT_TRUE(std::filesystem::is_directory(TempFolder::Path(folder.File("a/b/c"))));
    EXPECT_TRUE(CreateFolders(folder.File("a/b")));
    WriteFile(folder.File("file"), "x");
    EXPECT_FALSE(CreateFolders(folder.File("file")));
    EXPECT_FALSE(CreateFolders(folder.File("file/sub")));
}

} // namespace
} // namespace quorvel
