// POSIX side of replacing the settings file: the old file's mode, owner and group survive a
// save, whatever the umask; a file in a folder the user may not write is rewritten in place, its
// space reserved first; a pipe or device at the settings path neither hangs nor is written.
// Cases that need another user run a child process as "nobody" when the tests run as root.
#include "FileAccess.h"
#include "Functionsload.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <sys/resource.h>
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

// Runs the action in a child process without privileges: as "nobody" when this is root (whose
// privilege would ignore the permission bits), as this user otherwise. The action's exit code.
int RunUnprivileged(const std::function<int()>& action) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (IsRoot() && (::setgid(NoGroup) != 0 || ::setuid(Nobody) != 0)) {
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

// The disk takes no more than the file holds now (a file size limit stands in for the full disk).
// The space reservation must fail the save before any byte of the old file is overwritten: a
// crash or power cut while it is half rewritten would lose it.
TEST_F(NotWritableFolder, FullDiskStopsTheSaveInPlaceBeforeAnyByteIsWritten) {
    const int code = RunUnprivileged([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 99;
        }
        int writes = 0;
        const WriteLimit counting = [&](std::size_t size) {
            ++writes;
            return size;
        };
        const ReplaceResult result = ReplaceFileContent(Path, NewContent, counting);
        return OutcomeCode(result) * 10 + (writes > 0 ? 1 : 0);
    });
    ASSERT_NE(code, 99);
    EXPECT_EQ(code / 10, OutcomeCode({ReplaceOutcome::Failed, {}}));
    EXPECT_EQ(code % 10, 0) << "the old bytes were overwritten before the disk was found full";
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_EQ(Folder.EntryCount(), 1U);
}

// Opens the pipe's writing end, which lets a reader stuck in opening it go on.
void ReleaseReader(const std::string& fifo) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
}

// Runs the action; when it has not returned after a generous while it is stuck on the pipe: the
// pipe is opened from this side so that it can end, and the answer is false.
template <typename Action> bool ReturnsWithoutAWriter(const std::string& fifo, Action action) {
    auto done = std::async(std::launch::async, action);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        ReleaseReader(fifo);
    }
    return false;
}

class PipeAtTheSettingsPath : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::mkfifo(Path.c_str(), 0600), 0); }

    TempFolder Folder;
    const std::string Path = Folder.File("quorvel.ini");
};

TEST_F(PipeAtTheSettingsPath, StartReadsItAsAbsentAtOnce) {
    TSettings settings;
    EXPECT_TRUE(ReturnsWithoutAWriter(Path, [&] { settings = ReadSettingsFile(Path); }))
        << "the start waited for a writer of the pipe";
    EXPECT_EQ(settings.Baudrate, 38400U);
    EXPECT_EQ(settings.Left, 50);
}

TEST_F(PipeAtTheSettingsPath, SaveIsRefusedAtOnceAndThePipeStays) {
    ReplaceResult result{ReplaceOutcome::Replaced, {}};
    EXPECT_TRUE(ReturnsWithoutAWriter(Path, [&] { result = WriteSettingsFile(Path, {}); }))
        << "the save waited for a writer of the pipe";
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Failed);
    EXPECT_TRUE(std::filesystem::is_fifo(Path));
    EXPECT_EQ(Folder.EntryCount(), 1U);
}

TEST(DeviceAtTheSettingsPath, ALinkToADeviceIsReadAsAbsentAndNeverWritten) {
    TempFolder folder;
    const auto path = folder.File("quorvel.ini");
    std::filesystem::create_symlink("/dev/null", path);
    EXPECT_FALSE(ReadFileBytes(path).has_value());
    EXPECT_EQ(ReadSettingsFile(path).TimerASCII, 55);
    EXPECT_EQ(WriteSettingsFile(path, {}).Outcome, ReplaceOutcome::Failed);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
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
