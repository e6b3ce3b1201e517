// Win32 file primitives for the settings file: UTF-8 paths turned into wide ones for the W calls,
// ReplaceFileW to keep the old file's attributes and ACL, MoveFileExW for a first file and for
// the restore; GetLastError sorted into FileFault.
#include "FilePlatform.h"
#include "TextWin32.h"

#include <windows.h>

namespace quorvel {

namespace {

FileFault FaultOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_NETWORK_ACCESS_DENIED:
        return FileFault::Refused;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
        return FileFault::Busy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileFault::NoSpace;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return FileFault::Exists;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileFault::Missing;
    default:
        return FileFault::Other;
    }
}

FileStatus Failure(const char* what) {
    const DWORD error = ::GetLastError();
    return {FaultOf(error), std::string(what) + ": Windows error " + std::to_string(error)};
}

FileStatus Checked(BOOL done, const char* what) {
    return done != 0 ? FileStatus{} : Failure(what);
}

HANDLE Native(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

FileHandle Wrap(HANDLE handle) {
    return reinterpret_cast<FileHandle>(handle);
}

std::wstring FolderOf(const std::wstring& path) {
    const auto separator = path.find_last_of(L"/\\");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

DWORD Attributes(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str());
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Seek(HANDLE file, std::size_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

std::optional<std::string> ReadRest(HANDLE file) {
    std::string content;
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) == 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return content;
        }
        content.append(buffer, got);
    }
}

// ReplaceFileW keeps them on Windows; Wine's loses them, so they are set again where they differ.
void KeepAttributes(const std::wstring& target, DWORD oldAttributes) {
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = Attributes(target);
    if (oldAttributes != INVALID_FILE_ATTRIBUTES && now != INVALID_FILE_ATTRIBUTES &&
        (now & kept) != (oldAttributes & kept)) {
        const DWORD wanted = (now & ~(kept | FILE_ATTRIBUTE_NORMAL)) | (oldAttributes & kept);
        ::SetFileAttributesW(target.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
}

// The final path of an open file, without the "\\?\" that GetFinalPathNameByHandleW puts first.
std::wstring FinalPath(HANDLE file) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length =
        ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length =
            ::GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    buffer.resize(length);
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return L"\\\\" + buffer.substr(8);
    }
    return buffer.rfind(L"\\\\?\\", 0) == 0 ? buffer.substr(4) : buffer;
}

class Win32FilePlatform final : public TFilePlatform {
  public:
    std::string FollowLinks(const std::string& path) override {
        const std::wstring wide = Widen(path);
        const DWORD attributes = Attributes(wide);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            return path;
        }
        const HANDLE file =
            ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return {}; // a link that leads nowhere
        }
        const std::wstring final = FinalPath(file);
        ::CloseHandle(file);
        return final.empty() ? path : Narrow(final);
    }

    PathKind Kind(const std::string& path) override {
        const std::wstring wide = Widen(path);
        const DWORD attributes = Attributes(wide);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return FaultOf(::GetLastError()) == FileFault::Missing ? PathKind::Absent
                                                                   : PathKind::Unknown;
        }
        if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            return PathKind::NotRegular;
        }
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            return PathKind::ReadOnly;
        }
        // Access rights that deny writing make it as read-only as the attribute does.
        const HANDLE probe = ::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            ::CloseHandle(probe);
            return PathKind::Regular;
        }
        return ::GetLastError() == ERROR_ACCESS_DENIED ? PathKind::ReadOnly : PathKind::Regular;
    }

    bool Exists(const std::string& path) override { return FileExists(path); }

    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileW((Widen(folder) + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return entries;
        }
        FILETIME nowFile{};
        ::GetSystemTimeAsFileTime(&nowFile);
        const auto ticks = [](const FILETIME& time) {
            return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
        };
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                const ULONGLONG written = ticks(found.ftLastWriteTime);
                const ULONGLONG now = ticks(nowFile);
                const auto age = static_cast<long long>(now > written ? now - written : 0);
                entries.push_back({Narrow(found.cFileName), std::chrono::seconds(age / 10000000)});
            }
        } while (::FindNextFileW(search, &found) != 0);
        ::FindClose(search);
        return entries;
    }

    FileStatus CreateNew(const std::string& path, const std::string& /*keepFrom*/,
                         FileHandle& file) override {
        // The swap gives it the old file's attributes and ACL; nothing to take over here.
        const HANDLE created = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            return Failure("temporary file");
        }
        file = Wrap(created);
        return {};
    }

    FileStatus OpenForUpdate(const std::string& path, FileHandle& file) override {
        const HANDLE opened =
            ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE) {
            return Failure("open in place");
        }
        file = Wrap(opened);
        return {};
    }

    FileStatus ReadAll(FileHandle file, std::string& content) override {
        if (!Seek(Native(file), 0)) {
            return Failure("read");
        }
        auto read = ReadRest(Native(file));
        if (!read) {
            return Failure("read");
        }
        content = std::move(*read);
        return {};
    }

    FileStatus Reserve(FileHandle file, std::size_t size) override { return SetSize(file, size); }

    FileStatus WriteSome(FileHandle file, std::size_t offset, std::string_view bytes,
                         std::size_t& written) override {
        if (!Seek(Native(file), offset)) {
            return Failure("write");
        }
        DWORD done = 0;
        const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 20));
        if (::WriteFile(Native(file), bytes.data(), size, &done, nullptr) == 0) {
            return Failure("write");
        }
        written = done;
        return {};
    }

    FileStatus SetSize(FileHandle file, std::size_t size) override {
        return Checked(Seek(Native(file), size) && ::SetEndOfFile(Native(file)) != 0, "set size");
    }

    FileStatus Flush(FileHandle file) override {
        return Checked(::FlushFileBuffers(Native(file)), "flush");
    }

    FileStatus Close(FileHandle file) override {
        return Checked(::CloseHandle(Native(file)), "close");
    }

    FileStatus Swap(const std::string& replacement, const std::string& target) override {
        const std::wstring wideTarget = Widen(target);
        const DWORD oldAttributes = Attributes(wideTarget);
        if (::ReplaceFileW(wideTarget.c_str(), Widen(replacement).c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) == 0) {
            return Failure("ReplaceFileW");
        }
        KeepAttributes(wideTarget, oldAttributes);
        return {};
    }

    FileStatus MoveTo(const std::string& from, const std::string& to) override {
        return Checked(::MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
                       "MoveFileExW");
    }

    FileStatus Remove(const std::string& path) override {
        return Checked(::DeleteFileW(Widen(path).c_str()), "DeleteFileW");
    }

    void Pause(std::chrono::milliseconds span) override {
        ::Sleep(static_cast<DWORD>(span.count()));
    }
};

} // namespace

TFilePlatform& NativeFilePlatform() {
    static Win32FilePlatform platform;
    return platform;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = Attributes(wide);
    // A folder or device is not opened at all; whatever else opens must be a file on a disk.
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::string> content;
    if (::GetFileType(file) == FILE_TYPE_DISK) {
        content = ReadRest(file);
    }
    ::CloseHandle(file);
    return content;
}

bool FileExists(const std::string& path) {
    return Attributes(Widen(path)) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnlyFile(const std::string& path) {
    return NativeFilePlatform().Kind(path) == PathKind::ReadOnly;
}

bool CreateFolders(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) {
        return false;
    }
    const DWORD attributes = Attributes(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return IsFolder(attributes);
    }
    const std::wstring parent = FolderOf(wide);
    if (parent != wide && parent != L"." && !CreateFolders(Narrow(parent))) {
        return false;
    }
    return ::CreateDirectoryW(wide.c_str(), nullptr) != 0 ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
}

LineEndRule LineEndForWriting(std::string_view) {
    return {"\r\n", true};
}

std::string ExecutableFilePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return Narrow(buffer);
        }
        buffer.resize(buffer.size() * 2); // cut short: try a longer buffer
    }
}

} // namespace quorvel
