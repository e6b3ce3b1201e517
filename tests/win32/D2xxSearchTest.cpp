// Where the link looks for FTD2XX.DLL: a probe program, copied into a folder of its own, loads it
// by its bare name while a planted copy of the D2XX stand-in lies in the probe's current folder
// or in a folder on PATH. Only a copy in the program's own folder (or the system folder) may be
// loaded. Needs no lane set-up: it runs wherever the tests run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>

namespace quorvel::win32test {
namespace {

constexpr const wchar_t* ProbeFile = L"quorvel_d2xx_probe.exe";
constexpr const wchar_t* StandInFile = L"quorvel_fake_ftd2xx.dll";
constexpr const wchar_t* LibraryFile = L"FTD2XX.DLL";
constexpr DWORD ProbeLimitMs = 60000;

std::wstring BesideThisExecutable(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

// Lower case and without 8.3 short names, for the comparison.
std::wstring Comparable(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(path.c_str(), full, MAX_PATH);
    std::wstring text = length > 0 && length < MAX_PATH ? std::wstring(full, length) : path;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    return wide;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            RemoveTree(path);
        } else {
            DeleteFileW(path.c_str());
        }
    }
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

struct TProbeRun {
    DWORD ExitCode = 0;
    std::wstring Loaded; // full path of the module the probe got; empty when none
};

class D2xxSearchPath : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
        Root = std::wstring(temp) + L"quorvel-d2xx-" + std::to_wstring(GetCurrentProcessId());
        RemoveTree(Root);
        for (const std::wstring& folder : {Root, App(), Current(), OnPath()}) {
            ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
        }
        ASSERT_TRUE(CopyFileW(BesideThisExecutable(ProbeFile).c_str(),
                              (App() + L"\\" + ProbeFile).c_str(), FALSE))
            << "the probe is built beside this test";
    }
    void TearDown() override { RemoveTree(Root); }

    std::wstring App() const { return Root + L"\\app"; }
    std::wstring Current() const { return Root + L"\\current"; }
    std::wstring OnPath() const { return Root + L"\\onpath"; }

    void Plant(const std::wstring& folder) {
        ASSERT_TRUE(CopyFileW(BesideThisExecutable(StandInFile).c_str(),
                              (folder + L"\\" + LibraryFile).c_str(), FALSE));
    }

    // Starts the probe from App() in Current(), with OnPath() first on its PATH.
    TProbeRun RunProbe() {
        TProbeRun run;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        const std::wstring probe = App() + L"\\" + ProbeFile;
        std::wstring command = L"\"" + probe + L"\"";
        wchar_t oldPath[32767] = {};
        const DWORD oldLength = GetEnvironmentVariableW(L"PATH", oldPath, 32767);
        SetEnvironmentVariableW(L"PATH", (OnPath() + L";" + oldPath).c_str());
        PROCESS_INFORMATION process{};
        const bool started =
            CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           Current().c_str(), &startup, &process) != FALSE;
        SetEnvironmentVariableW(L"PATH", oldLength > 0 ? oldPath : nullptr);
        CloseHandle(writeEnd);
        EXPECT_TRUE(started) << GetLastError();
        std::string out;
        char buffer[512];
        DWORD got = 0;
        while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            out.append(buffer, got);
        }
        CloseHandle(readEnd);
        if (started) {
            EXPECT_EQ(WaitForSingleObject(process.hProcess, ProbeLimitMs), WAIT_OBJECT_0);
            GetExitCodeProcess(process.hProcess, &run.ExitCode);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        run.Loaded = Wide(out);
        return run;
    }

    std::wstring Root;
};

TEST_F(D2xxSearchPath, OneInTheCurrentFolderIsNotLoaded) {
    Plant(Current());

    const TProbeRun run = RunProbe();

    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Loaded, L"");
}

TEST_F(D2xxSearchPath, OneInAFolderOnPathIsNotLoaded) {
    Plant(OnPath());

    const TProbeRun run = RunProbe();

    EXPECT_EQ(run.ExitCode, 1u);
    EXPECT_EQ(run.Loaded, L"");
}

// As when FTDI's DLL is shipped beside the program: found there, before any planted copy.
TEST_F(D2xxSearchPath, OneInTheProgramsOwnFolderIsLoaded) {
    Plant(App());
    Plant(Current());
    Plant(OnPath());

    const TProbeRun run = RunProbe();

    EXPECT_EQ(run.ExitCode, 0u);
    EXPECT_EQ(Comparable(run.Loaded), Comparable(App() + L"\\" + LibraryFile));
}

} // namespace
} // namespace quorvel::win32test
