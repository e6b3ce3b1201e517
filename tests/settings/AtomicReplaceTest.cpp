#include "IniFile.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace quorvel {
namespace {

using std::filesystem::perms;
using test::Permissions;
using test::ReadFile;
using test::SetPermissions;
using test::TempFolder;
using test::WriteFile;

const std::string OldContent = "[Quorvel]\nLeft=10\nTop=20\n";
const std::string NewContent(4096, 'n');

TEST(AtomicReplace, WritesNewFileWhenNoneExists) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    EXPECT_TRUE(ReplaceFileAtomically(path, NewContent));
    EXPECT_EQ(ReadFile(path), NewContent);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(AtomicReplace, FailureAfterHalfTheBytesLeavesOldFileWhole) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    std::size_t written = 0;
    const auto halfThenDiskFull = [&](std::FILE* file, const char* data, std::size_t size) {
        if (written >= NewContent.size() / 2) {
            return std::size_t{0}; // the disk is full
        }
        const std::size_t chunk = std::min<std::size_t>(size, 100);
        written += chunk;
        return std::fwrite(data, 1, chunk, file);
    };
    EXPECT_FALSE(ReplaceFileAtomically(path, NewContent, halfThenDiskFull));
    EXPECT_GE(written, NewContent.size() / 2);
    EXPECT_EQ(ReadFile(path), OldContent);
    EXPECT_EQ(folder.EntryCount(), 1U) << "temporary file left behind";
}

TEST(AtomicReplace, ShortWritesAreContinued) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    const auto tenAtATime = [](std::FILE* file, const char* data, std::size_t size) {
        return std::fwrite(data, 1, std::min<std::size_t>(size, 10), file);
    };
    EXPECT_TRUE(ReplaceFileAtomically(path, NewContent, tenAtATime));
    EXPECT_EQ(ReadFile(path), NewContent);
}

TEST(AtomicReplace, ReadOnlyFileIsNeverReplaced) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    const perms readOnly = perms::owner_read | perms::group_read | perms::others_read;
    SetPermissions(path, readOnly);
    EXPECT_TRUE(IsReadOnlyFile(path));
    EXPECT_FALSE(ReplaceFileAtomically(path, NewContent));
    EXPECT_EQ(ReadFile(path), OldContent);
    EXPECT_EQ(Permissions(path), readOnly);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

TEST(AtomicReplace, KeepsThePermissionBitsOfTheOldFile) {
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    const perms ownerAndGroup = perms::owner_read | perms::owner_write | perms::group_read;
    SetPermissions(path, ownerAndGroup);
    if (Permissions(path) != ownerAndGroup) {
        GTEST_SKIP() << "this file system keeps no such permission bits";
    }
    EXPECT_TRUE(ReplaceFileAtomically(path, NewContent));
    EXPECT_EQ(Permissions(path), ownerAndGroup);
}

TEST(AtomicReplace, ReplacesTheFileALinkNamesAndKeepsTheLink) {
    TempFolder folder;
    const auto target = folder.File("real.ini");
    const auto link = folder.File("link.ini");
    WriteFile(target, OldContent);
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    if (error) {
        GTEST_SKIP() << "no symbolic links here: " << error.message();
    }
    EXPECT_TRUE(ReplaceFileAtomically(link, NewContent));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), NewContent);
}

TEST(AtomicReplace, FailsWhenFolderIsMissingOrPathIsAFolder) {
    TempFolder folder;
    EXPECT_FALSE(ReplaceFileAtomically(folder.File("missing/q.ini"), NewContent));
    std::filesystem::create_directory(folder.File("sub"));
    EXPECT_FALSE(ReplaceFileAtomically(folder.File("sub"), NewContent));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("sub")));
    EXPECT_EQ(folder.EntryCount(), 1U);
}

} // namespace
} // namespace quorvel
