// POSIX side of replacing the settings file: the old file's mode, owner and group survive a
// save, whatever the umask; a file in a folder the user may not write is rewritten in place.
// Cases that need another user run a child process as "nobody" when the tests run as root.
#include "FileAccess.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;
const std::string OldContent = "[Quorvel]\nLeft=10\n";
const std::string NewContent(3000, 'n');

// Sets the process umask for one scope, so a test gives the same verdict under any umask.
class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : Saved(::umask(mask)) {}
    ~ScopedUmask() { ::umask(Saved); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

  private:
    mode_t Saved;
};

struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

void Chmod(const std::string& path, mode_t mode) {
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

bool IsRoot() {
    return ::geteuid() == 0;
}

// Runs the action without privileges: as "nobody" in a child process when this is root (whose
// privilege would ignore the permission bits), directly otherwise. The action's exit code.
int RunUnprivileged(const std::function<int()>& action) {
    if (!IsRoot()) {
        return action();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(NoGroup) != 0 || ::setuid(Nobody) != 0) {
            ::_exit(125);
        }
        ::_exit(action());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 126;
}

int OutcomeCode(const ReplaceResult& result) {
    return static_cast<int>(result.Outcome);
}

// Each old mode survives under umasks that would each give a new file a different one.
TEST(FileReplacePosix, KeepsTheOldModeUnderEveryUmask) {
    for (const mode_t mask : {00, 022, 027, 077, 0277}) {
        for (const mode_t mode : {0640, 0600, 0664, 0604, 0660}) {
            TempFolder folder;
            const auto path = folder.File("q.ini");
            WriteFile(path, OldContent);
            Chmod(path, mode);
            const ScopedUmask umask(mask);
            const ReplaceResult result = ReplaceFileContent(path, NewContent);
            ASSERT_TRUE(result) << result.Reason;
            EXPECT_EQ(StatOf(path).st_mode & 07777, mode)
                << "mode " << std::oct << mode << " under umask " << mask;
        }
    }
}

TEST(FileReplacePosix, NewFileGetsTheUsualModeLessTheUmask) {
    for (const mode_t mask : {022, 077}) {
        TempFolder folder;
        const auto path = folder.File("q.ini");
        const ScopedUmask umask(mask);
        ASSERT_TRUE(ReplaceFileContent(path, NewContent));
        EXPECT_EQ(StatOf(path).st_mode & 07777, 0666 & ~mask);
    }
}

TEST(FileReplacePosix, KeepsOwnerAndGroupAndReplacesAtomically) {
    if (!IsRoot()) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
    Chmod(path, 0640);
    const ino_t oldInode = StatOf(path).st_ino;
    ASSERT_TRUE(ReplaceFileContent(path, NewContent));
    const struct stat now = StatOf(path);
    EXPECT_EQ(now.st_uid, 1234U);
    EXPECT_EQ(now.st_gid, 5678U);
    EXPECT_EQ(now.st_mode & 07777, 0640U);
    EXPECT_NE(now.st_ino, oldInode) << "a new file should have been swapped in";
    EXPECT_EQ(ReadFile(path), NewContent);
}

// The folder refuses new files (an installed program's folder) but the file is the user's.
class NotWritableFolder : public testing::Test {
  protected:
    void SetUp() override {
        WriteFile(Path, OldContent);
        if (IsRoot()) {
            ASSERT_EQ(::chown(Path.c_str(), Nobody, NoGroup), 0);
        }
        Chmod(Path, 0644);
        Chmod(Folder.Folder(), 0555);
    }
    void TearDown() override { Chmod(Folder.Folder(), 0700); }

    TempFolder Folder;
    const std::string Path = Folder.File("q.ini");
};

TEST_F(NotWritableFolder, SaveWritesInPlaceKeepingTheFile) {
    const ino_t oldInode = StatOf(Path).st_ino;
    const int outcome = RunUnprivileged([&] {
        const ReplaceResult result = ReplaceFileContent(Path, NewContent);
        return OutcomeCode(result);
    });
    ASSERT_EQ(outcome, OutcomeCode({ReplaceOutcome::Replaced, {}}));
    EXPECT_EQ(ReadFile(Path), NewContent);
    const struct stat now = StatOf(Path);
    EXPECT_EQ(now.st_ino, oldInode);
    EXPECT_EQ(now.st_mode & 07777, 0644U);
    EXPECT_EQ(Folder.EntryCount(), 1U);
}

TEST_F(NotWritableFolder, ShorterContentInPlaceLeavesNoOldTail) {
    const std::string shorter = "[Quorvel]\n";
    const int outcome =
        RunUnprivileged([&] { return OutcomeCode(ReplaceFileContent(Path, shorter)); });
    ASSERT_EQ(outcome, OutcomeCode({ReplaceOutcome::Replaced, {}}));
    EXPECT_EQ(ReadFile(Path), shorter);
}

TEST_F(NotWritableFolder, FailureHalfWayInPlacePutsTheOldContentBack) {
    const int outcome = RunUnprivileged([&] {
        std::size_t written = 0;
        const WriteLimit halfThenFull = [&](std::size_t size) {
            const std::size_t chunk =
                written < NewContent.size() / 2 ? std::min<std::size_t>(size, 64) : 0;
            written += chunk;
            return chunk;
        };
        return OutcomeCode(ReplaceFileContent(Path, NewContent, halfThenFull));
    });
    EXPECT_EQ(outcome, OutcomeCode({ReplaceOutcome::Failed, {}}));
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_EQ(Folder.EntryCount(), 1U);
}

TEST_F(NotWritableFolder, ReadOnlyFileIsStillRefused) {
    Chmod(Path, 0444);
    const int outcome =
        RunUnprivileged([&] { return OutcomeCode(ReplaceFileContent(Path, NewContent)); });
    EXPECT_EQ(outcome, OutcomeCode({ReplaceOutcome::ReadOnly, {}}));
    EXPECT_EQ(ReadFile(Path), OldContent);
}

// A group-writable file of another user: a new file could not be given its owner, so the save
// writes in place rather than taking the file over.
TEST(FileReplacePosix, FileOfAnotherOwnerIsWrittenInPlaceKeepingTheOwner) {
    if (!IsRoot()) {
        GTEST_SKIP() << "needs root to set up a file of another user";
    }
    TempFolder folder;
    const auto path = folder.File("q.ini");
    WriteFile(path, OldContent);
    ASSERT_EQ(::chown(path.c_str(), 0, NoGroup), 0);
    Chmod(path, 0664);
    ASSERT_EQ(::chown(folder.Folder().c_str(), Nobody, NoGroup), 0);
    const int outcome =
        RunUnprivileged([&] { return OutcomeCode(ReplaceFileContent(path, NewContent)); });
    ASSERT_EQ(outcome, OutcomeCode({ReplaceOutcome::Replaced, {}}));
    const struct stat now = StatOf(path);
    EXPECT_EQ(now.st_uid, 0U);
    EXPECT_EQ(now.st_gid, NoGroup);
    EXPECT_EQ(ReadFile(path), NewContent);
    EXPECT_EQ(folder.EntryCount(), 1U);
}

} // namespace
} // namespace quorvel
