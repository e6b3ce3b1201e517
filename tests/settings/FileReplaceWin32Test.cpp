// Windows only, run under Wine: the failures Microsoft documents for ReplaceFileW and what a
// scanner holding the file does, met without losing the settings. Where Wine produces the failure
// (a file held open without sharing) it does; where it cannot, the test's own ReplaceFileW,
// MoveFileExW or CreateFileW takes the place of kernel32's in this executable's import table and
// fails as documented.
#include "FileAccess.h"
#include "FilePlatform.h"
#include "ImportHook.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;
using win32test::TImportHook;

const std::string OldContent = "[Quorvel]\r\nLeft=10\r\n";
const std::string NewContent = "[Quorvel]\r\nLeft=30\r\nTop=40\r\nPort=COM7\r\n";

using ReplaceFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID);
using MoveFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
using CreateFn = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                 HANDLE);

// What the hooked calls do in the current test; the real call when unset.
std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement)> ReplaceBehaviour;
std::function<BOOL(LPCWSTR from, LPCWSTR to, DWORD flags)> MoveBehaviour;
std::function<HANDLE(LPCWSTR name, DWORD disposition)> CreateBehaviour;
ReplaceFn RealReplace = nullptr;
MoveFn RealMove = nullptr;
CreateFn RealCreate = nullptr;
int ReplaceCalls = 0;

BOOL WINAPI TestReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                             LPVOID exclude, LPVOID reserved) {
    ++ReplaceCalls;
    if (ReplaceBehaviour) {
        return ReplaceBehaviour(replaced, replacement);
    }
    return RealReplace(replaced, replacement, backup, flags, exclude, reserved);
}

BOOL WINAPI TestMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    return MoveBehaviour ? MoveBehaviour(from, to, flags) : RealMove(from, to, flags);
}

HANDLE WINAPI TestCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE model) {
    if (CreateBehaviour) {
        const HANDLE handle = CreateBehaviour(name, disposition);
        if (handle != nullptr) {
            return handle;
        }
    }
    return RealCreate(name, access, share, sa, disposition, flags, model);
}

BOOL Fails(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

std::wstring Wide(const std::string& utf8) {
    return TempFolder::Path(utf8).wstring();
}

class Win32Replace : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(ReplaceHook.Original(), nullptr) << "ReplaceFileW is not imported by name";
        ASSERT_NE(MoveHook.Original(), nullptr) << "MoveFileExW is not imported by name";
        ASSERT_NE(CreateHook.Original(), nullptr) << "CreateFileW is not imported by name";
        RealReplace = reinterpret_cast<ReplaceFn>(ReplaceHook.Original());
        RealMove = reinterpret_cast<MoveFn>(MoveHook.Original());
        RealCreate = reinterpret_cast<CreateFn>(CreateHook.Original());
        ReplaceCalls = 0;
        WriteFile(Path, OldContent);
    }
    void TearDown() override {
        ReplaceBehaviour = nullptr;
        MoveBehaviour = nullptr;
        CreateBehaviour = nullptr;
    }

    // The entries of the folder other than the settings file. Wine's ReplaceFileW, failing on a
    // held file, leaves the empty "rf<hex>.tmp" that its GetTempFileNameW made for moving the
    // old file aside (Windows' does not); those are Wine's, not the save's, and are not counted.
    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(TempFolder::Path(Folder.Folder()))) {
            const std::string name = TempFolder::Utf8(entry.path().filename());
            const bool winesAside = name.rfind("rf", 0) == 0 && name.ends_with(".tmp") &&
                                    std::filesystem::file_size(entry.path()) == 0;
            if (name != "quorvel.ini" && !winesAside) {
                names.push_back(name);
            }
        }
        return names;
    }

    TImportHook ReplaceHook{"kernel32.dll", "ReplaceFileW",
                            reinterpret_cast<void*>(&TestReplaceFileW)};
    TImportHook MoveHook{"kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&TestMoveFileExW)};
    TImportHook CreateHook{"kernel32.dll", "CreateFileW",
                           reinterpret_cast<void*>(&TestCreateFileW)};
    TempFolder Folder;
    const std::string Path = Folder.File("quorvel.ini");
};

// "The replacement file could not be renamed ... the replaced file no longer exists and the
// replacement file exists under its original name." (ERROR_UNABLE_TO_MOVE_REPLACEMENT, 1176)
BOOL OldGoneNewUnderItsName(LPCWSTR replaced, LPCWSTR) {
    ::DeleteFileW(replaced);
    return Fails(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
}

TEST_F(Win32Replace, UnableToMoveReplacementIsCompletedWithoutLoss) {
    ReplaceBehaviour = OldGoneNewUnderItsName;
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    EXPECT_EQ(ReplaceCalls, 1);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(Others().empty());
}

TEST_F(Win32Replace, UnableToMoveReplacementWithTheMoveHeldKeepsTheNewContent) {
    ReplaceBehaviour = OldGoneNewUnderItsName;
    MoveBehaviour = [](LPCWSTR, LPCWSTR, DWORD) { return Fails(ERROR_SHARING_VIOLATION); };
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::RestoreFailed);
    const auto others = Others();
    ASSERT_EQ(others.size(), 1U) << "the only copy of the settings was deleted";
    EXPECT_EQ(ReadFile(Folder.File(others[0])), NewContent);
    EXPECT_NE(result.Reason.find(others[0]), std::string::npos) << result.Reason;
}

// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 (1177) with the old file still in its place.
TEST_F(Win32Replace, ReplacementNotMovedWithTheOldFileInPlaceKeepsTheOldFile) {
    ReplaceBehaviour = [](LPCWSTR, LPCWSTR) { return Fails(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2); };
    EXPECT_EQ(ReplaceFileContent(Path, NewContent).Outcome, ReplaceOutcome::Failed);
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_TRUE(Others().empty()) << "a temporary file stayed beside the settings";
}

// An antivirus scanner or the search indexer opening the just-written file: access denied.
TEST_F(Win32Replace, AccessDeniedForAMomentIsRetried) {
    ReplaceBehaviour = [](LPCWSTR replaced, LPCWSTR replacement) {
        if (ReplaceCalls < 3) {
            return Fails(ERROR_ACCESS_DENIED);
        }
        return RealReplace(replaced, replacement, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                           nullptr);
    };
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReplaceCalls, 3);
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(Others().empty());
}

// Another program holds the settings file open without letting it be deleted: Wine's own
// ReplaceFileW fails then, as Windows' does.
HANDLE HoldWithoutSharing(const std::string& path) {
    return RealCreate(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(Win32Replace, FileHeldByAnotherProgramForAMomentIsWaitedFor) {
    const HANDLE held = HoldWithoutSharing(Path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::thread release([held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::CloseHandle(held);
    });
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    release.join();
    EXPECT_GT(ReplaceCalls, 1) << "the held file did not make ReplaceFileW fail";
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(Others().empty());
}

TEST_F(Win32Replace, FileHeldForGoodFailsAfterTheRetriesWithTheOldFileWhole) {
    const HANDLE held = HoldWithoutSharing(Path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto start = std::chrono::steady_clock::now();
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    const auto waited = std::chrono::steady_clock::now() - start;
    ::CloseHandle(held);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Failed) << result.Reason;
    EXPECT_GE(waited, SwapRetrySpan()) << "gave up before the retries were spent";
    EXPECT_EQ(ReadFile(Path), OldContent);
    EXPECT_TRUE(Others().empty()) << "a temporary file stayed beside the settings";
}

// A folder that takes no new file (Program Files for a user granted the file alone): the file is
// written in place, as on Linux.
TEST_F(Win32Replace, FolderRefusingNewFilesGetsTheFileWrittenInPlace) {
    CreateBehaviour = [](LPCWSTR, DWORD disposition) {
        if (disposition == CREATE_NEW) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return static_cast<HANDLE>(nullptr);
    };
    const ReplaceResult result = ReplaceFileContent(Path, NewContent);
    EXPECT_EQ(result.Outcome, ReplaceOutcome::Replaced) << result.Reason;
    EXPECT_EQ(ReplaceCalls, 0);
    EXPECT_EQ(ReadFile(Path), NewContent);
    EXPECT_TRUE(Others().empty());
}

} // namespace
} // namespace quorvel
