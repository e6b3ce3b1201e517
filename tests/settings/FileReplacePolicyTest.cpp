// The replace policy over primitives that fail as the platforms document: a swap that Windows
// leaves half done (ERROR_UNABLE_TO_MOVE_REPLACEMENT: old file gone, new one under its temporary
// name), a file held by a scanner for a moment or for good, a full disk during an in-place save.
// The double runs the real primitives of this platform and puts the fault in; pauses are
// recorded, not waited.
#include "FilePlatform.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

const std::string OldContent = "[Quorvel]\nLeft=10\nTop=20\n";
const std::string NewContent = "[Quorvel]\nLeft=30\nTop=40\nPort=COM7\nBaudrate=9600\n";

class FaultyPlatform : public TFilePlatform {
  public:
    using Move = std::function<FileStatus(const std::string& from, const std::string& to)>;
    Move OnSwap;   // replaces Swap when set
    Move OnMoveTo; // replaces MoveTo when set
    std::function<FileStatus(const std::string& path)> OnCreateNew;
    std::function<FileStatus(FileHandle file, std::size_t size)> OnReserve;
    std::function<FileStatus(std::size_t offset, std::string_view bytes, std::size_t& written)>
        OnWriteInPlace;
    std::vector<std::chrono::milliseconds> Pauses;
    int Swaps = 0;

    std::string FollowLinks(const std::string& path) override { return Real.FollowLinks(path); }
    PathKind Kind(const std::string& path) override { return Real.Kind(path); }
    bool Exists(const std::string& path) override { return Real.Exists(path); }
    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        return Real.ListFolder(folder);
    }
    FileStatus CreateNew(const std::string& path, const std::string& keepFrom,
                         FileHandle& file) override {
        return OnCreateNew ? OnCreateNew(path) : Real.CreateNew(path, keepFrom, file);
    }
    FileStatus OpenForUpdate(const std::string& path, FileHandle& file) override {
        FileStatus status = Real.OpenForUpdate(path, file);
        InPlace = file;
        return status;
    }
    FileStatus ReadAll(FileHandle file, std::string& content) override {
        return Real.ReadAll(file, content);
    }
    FileStatus Reserve(FileHandle file, std::size_t size) override {
        return OnReserve ? OnReserve(file, size) : Real.Reserve(file, size);
    }
    FileStatus WriteSome(FileHandle file, std::size_t offset, std::string_view bytes,
                         std::size_t& written) override {
        if (file == InPlace && OnWriteInPlace) {
            FileStatus status = OnWriteInPlace(offset, bytes, written);
            if (!status) {
                return status;
            }
            bytes = bytes.substr(0, written);
        }
        return Real.WriteSome(file, offset, bytes, written);
    }
    FileStatus SetSize(FileHandle file, std::size_t size) override {
        return Real.SetSize(file, size);
    }
    FileStatus Flush(FileHandle file) override { return Real.Flush(file); }
    FileStatus Close(FileHandle file) override { return Real.Close(file); }
    FileStatus Swap(const std::string& replacement, const std::string& target) override {
        ++Swaps;
        return OnSwap ? OnSwap(replacement, target) : Real.Swap(replacement, target);
    }
    FileStatus MoveTo(const std::string& from, const std::string& to) override {
        return OnMoveTo ? OnMoveTo(from, to) : Real.MoveTo(from, to);
    }
    FileStatus Remove(const std::string& path) override { return Real.Remove(path); }
    void Pause(std::chrono::milliseconds span) override { Pauses.push_back(span); }

    std::chrono::milliseconds Paused() const {
        std::chrono::milliseconds total{0};
        for (const auto span : Pauses) {
            total += span;
        }
        return total;
    }

    TFilePlatform& Real = NativeFilePlatform();

  private:
    FileHandle InPlace = NoFileHandle;
};

// The file names in the folder other than the target's.
std::vector<std::string> OthersIn(const TempFolder& folder, const std::string& target) {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(TempFolder::Path(folder.Folder()))) {
        const std::string name = TempFolder::Utf8(entry.path().filename());
        if (name != target) {
            names.push_back(name);
        }
    }
    return names;
}

class FileReplacePolicy : public testing::Test {
  protected:
    void SetUp() override { WriteFile(Path, OldContent); }

    ReplaceResult Save() { return ReplaceFileContentWith(Platform, Path, NewContent); }

    TempFolder Folder;
    const std::string Path = Folder.File("quorvel.ini");
    FaultyPlatform Platform;
};

// ReplaceFileW without a backup name, failing with ERROR_UNABLE_TO_MOVE_REPLACEMENT (1176).
FileStatus OldGoneNewLeftUnderItsName(TFilePlatform& real, const std::string& target) {
    real.Remove(target);
    return {FileFault::Other, "ReplaceFileW: Windows error 1176"};
}

TEST_F(FileReplacePolicy, SwapThatTookTheOldFileAwayIsCompletedByMovingTheNewOneIn) {
    Platform.OnSwap = [&](const std::string&, const std::string& target) {
        return OldGoneNewLeftUnderItsName(Platform.Real, target);
    };
    const ReplaceResult result = Save();
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(OthersIn(Folder, "quorvel.ini").empty());
}

TEST_F(FileReplacePolicy, SwapAndMoveBothFailingLeaveTheNewContentInTheTemporaryFile) {
    Platform.OnSwap = [&](const std::string&, const std::string& target) {
        return OldGoneNewLeftUnderItsName(Platform.Real, target);
    };
    Platform.OnMoveTo = [](const std::string&, const std::string&) {
        return FileStatus{FileFault::Busy, "MoveFileExW: Windows error 32"};
    };
    const ReplaceResult result = Save();
    EXPECT_EQ(result.Outcome, ReplaceOutcome::RestoreFailed);
    const auto others = OthersIn(Folder, "quorvel.ini");
    ASSERT_EQ(others.size(), 1U) << "the only copy of the settings was deleted";
    EXPECT_EQ(ReadFile(Folder.File(others[0])), NewContent);
    EXPECT_NE(result.Reason.find(others[0]), std::string::npos) << result.Reason;
    EXPECT_EQ(Platform.Paused(), SwapRetrySpan()) << "the move was not retried";
}

// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (1177) with the old file still in its place.
TEST_F(FileReplacePolicy, SwapThatLeftTheOldFileKeepsItAndRemovesTheTemporary) {
    Platform.OnSwap = [](const std::string&, const std::string&) {
        return FileStatus{FileFault::Other, "ReplaceFileW: Windows error 1177"};
    };
    EXPECT_EQ(Save().Outcome, ReplaceOutcome::Failed);
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_TRUE(OthersIn(Folder, "quorvel.ini").empty());
    EXPECT_EQ(Platform.Swaps, 1) << "a failure that is not a held file is not retried";
}

TEST_F(FileReplacePolicy, SwapHeldByAnotherProgramForAMomentIsRetriedUntilItIsFree) {
    for (const FileFault fault : {FileFault::Busy, FileFault::Refused}) {
        Platform.Pauses.clear();
        Platform.Swaps = 0;
        Platform.OnSwap = [&](const std::string& replacement, const std::string& target) {
            if (Platform.Swaps <= 3) {
                return FileStatus{fault, "held"};
            }
            return Platform.Real.Swap(replacement, target);
        };
        const ReplaceResult result = Save();
        EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
        EXPECT_EQ(Platform.Swaps, 4);
        EXPECT_EQ(Platform.Pauses.size(), 3U);
        EXPECT_EQ(ReadFile(Path), NewContent);
        EXPECT_TRUE(OthersIn(Folder, "quorvel.ini").empty());
        WriteFile(Path, OldContent);
    }
}

TEST_F(FileReplacePolicy, SwapHeldForGoodFailsAfterTheRetrySpanWithTheOldFileWhole) {
    Platform.OnSwap = [](const std::string&, const std::string&) {
        return FileStatus{FileFault::Busy, "ReplaceFileW: Windows error 32"};
    };
    EXPECT_EQ(Save().Outcome, ReplaceOutcome::Failed);
    EXPECT_EQ(Platform.Paused(), SwapRetrySpan());
    EXPECT_GE(SwapRetrySpan(), std::chrono::milliseconds(1000));
    EXPECT_LE(SwapRetrySpan(), std::chrono::milliseconds(3000));
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_TRUE(OthersIn(Folder, "quorvel.ini").empty());
}

// Access denied that does not pass: the file may still be written itself.
TEST_F(FileReplacePolicy, SwapRefusedForGoodIsWrittenInPlace) {
    Platform.OnSwap = [](const std::string&, const std::string&) {
        return FileStatus{FileFault::Refused, "ReplaceFileW: Windows error 5"};
    };
    const ReplaceResult result = Save();
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(OthersIn(Folder, "quorvel.ini").empty());
}

TEST_F(FileReplacePolicy, FirstFileHeldForAMomentIsRetried) {
    std::filesystem::remove(TempFolder::Path(Path));
    int moves = 0;
    Platform.OnMoveTo = [&](const std::string& from, const std::string& to) {
        return ++moves < 3 ? FileStatus{FileFault::Busy, "held"} : Platform.Real.MoveTo(from, to);
    };
    EXPECT_TRUE(Save());
    EXPECT_EQ(ReadFile(Path), NewContent);
}

// The folder takes no new file, so the file is written in place; the disk has no block to spare.
// The reservation must stop the save before a single byte of the file is overwritten: a crash
// or power cut while the old bytes were half replaced would lose them.
TEST_F(FileReplacePolicy, FullDiskStopsAnInPlaceSaveBeforeAnyByteOfTheFileChanges) {
    Platform.OnCreateNew = [](const std::string&) {
        return FileStatus{FileFault::Refused, "temporary file: Permission denied"};
    };
    const std::size_t capacity = OldContent.size(); // the blocks the file has already
    int reservations = 0;
    Platform.OnReserve = [&](FileHandle, std::size_t size) {
        ++reservations;
        return size > capacity ? FileStatus{FileFault::NoSpace, "reserve space: disk full"}
                               : FileStatus{};
    };
    int writes = 0;
    Platform.OnWriteInPlace = [&](std::size_t offset, std::string_view bytes,
                                  std::size_t& written) {
        ++writes;
        written = offset < capacity ? std::min(bytes.size(), capacity - offset) : 0;
        return written > 0 ? FileStatus{} : FileStatus{FileFault::NoSpace, "write: disk full"};
    };
    const ReplaceResult result = Save();
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Failed) << result.Reason;
    EXPECT_EQ(reservations, 1);
    EXPECT_EQ(writes, 0) << "the old bytes were overwritten before the disk was found full";
    EXPECT_EQ(ReadFile(Path), OldContent);
}

TEST(TemporaryNames, OnlyOurOwnTemporaryNamesAreRecognised) {
    EXPECT_TRUE(IsTemporaryNameOf(".quorvel.ini.tmp123", "quorvel.ini"));
    EXPECT_TRUE(IsTemporaryNameOf("quorvel.ini.tmp4294967295", "quorvel.ini"));
    for (const char* name :
         {"quorvel.ini", ".quorvel.ini.tmp", "quorvel.ini.tmp12a", "other.ini.tmp1",
          "..quorvel.ini.tmp1", "quorvel.ini.tmp-1", "quorvel.ini.bak", "xquorvel.ini.tmp1"}) {
        EXPECT_FALSE(IsTemporaryNameOf(name, "quorvel.ini")) << name;
    }
}

} // namespace
} // namespace quorvel
