// Win32 file access for the settings file: UTF-8 paths turned into wide ones for the W calls,
// ReplaceFileW to keep the old file's attributes and ACL, MoveFileExW for a first file.
#include "FileAccess.h"

#include <windows.h>

#include <random>

namespace quorvel {

namespace {

std::wstring Widen(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

std::string ErrorText(const char* what) {
    return std::string(what) + ": Windows error " + std::to_string(::GetLastError());
}

// Closes the handle when it goes out of scope.
class Handle {
  public:
    explicit Handle(HANDLE handle) : Value(handle) {}
    ~Handle() {
        if (Valid()) {
            ::CloseHandle(Value);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return Value != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return Value; }
    bool Close() {
        const HANDLE handle = Value;
        Value = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE Value;
};

std::wstring FolderOf(const std::wstring& path) {
    const auto separator = path.find_last_of(L"/\\");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

bool Seek(HANDLE file, std::size_t offset) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

bool SetSize(HANDLE file, std::size_t size) {
    return Seek(file, size) && ::SetEndOfFile(file) != 0;
}

bool WriteFrom(HANDLE file, std::size_t offset, std::string_view content, const WriteLimit& limit) {
    if (!Seek(file, offset)) {
        return false;
    }
    while (!content.empty()) {
        std::size_t allowed =
            limit ? std::min(limit(content.size()), content.size()) : content.size();
        allowed = std::min<std::size_t>(allowed, 1U << 20);
        if (allowed == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        DWORD written = 0;
        if (::WriteFile(file, content.data(), static_cast<DWORD>(allowed), &written, nullptr) ==
                0 ||
            written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return true;
}

std::optional<std::string> ReadAll(HANDLE file) {
    if (!Seek(file, 0)) {
        return std::nullopt;
    }
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

DWORD Attributes(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str());
}

bool IsFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

enum class Step { Done, Refused, Failed };

struct StepResult {
    Step Result;
    std::string Reason;
};

// Temporary file beside the target, flushed, then swapped in by ReplaceFileW (which gives it the
// old file's attributes and ACL) or moved into place when there was no file. Refused (nothing
// changed) when the folder takes no new file.
StepResult ReplaceBySwap(const std::wstring& target, bool exists, std::string_view content,
                         const WriteLimit& limit) {
    static std::random_device random;
    const DWORD oldAttributes = exists ? Attributes(target) : INVALID_FILE_ATTRIBUTES;
    std::wstring name;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && created == INVALID_HANDLE_VALUE; ++attempt) {
        name = target + L".tmp" + std::to_wstring(random());
        created = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    Handle file(created);
    if (!file.Valid()) {
        const bool folderRefuses = ::GetLastError() == ERROR_ACCESS_DENIED;
        return {folderRefuses ? Step::Refused : Step::Failed, ErrorText("temporary file")};
    }
    const auto discard = [&](std::string reason) {
        if (file.Valid()) {
            file.Close();
        }
        ::DeleteFileW(name.c_str());
        return StepResult{Step::Failed, std::move(reason)};
    };
    if (!WriteFrom(file.Get(), 0, content, limit)) {
        return discard(ErrorText("write"));
    }
    if (::FlushFileBuffers(file.Get()) == 0) {
        return discard(ErrorText("flush"));
    }
    if (!file.Close()) {
        return discard(ErrorText("close"));
    }
    const BOOL swapped = exists ? ::ReplaceFileW(target.c_str(), name.c_str(), nullptr,
                                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                                : ::MoveFileExW(name.c_str(), target.c_str(),
                                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (swapped == 0) {
        return discard(ErrorText(exists ? "ReplaceFileW" : "MoveFileExW"));
    }
    if (exists) {
        KeepAttributes(target, oldAttributes);
    }
    return {Step::Done, {}};
}

// Overwrites the file itself: the new size is reserved first, so a full disk stops the save
// before any byte changes; should a write fail all the same, the old bytes go back.
ReplaceResult ReplaceInPlace(const std::wstring& target, std::string_view content,
                             const WriteLimit& limit) {
    Handle file(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return {ReplaceOutcome::Failed, ErrorText("open in place")};
    }
    const auto old = ReadAll(file.Get());
    if (!old) {
        return {ReplaceOutcome::Failed, ErrorText("read before writing in place")};
    }
    if (content.size() > old->size() && !SetSize(file.Get(), content.size())) {
        std::string reason = ErrorText("reserve space");
        SetSize(file.Get(), old->size());
        return {ReplaceOutcome::Failed, reason};
    }
    if (WriteFrom(file.Get(), 0, content, limit) && SetSize(file.Get(), content.size()) &&
        ::FlushFileBuffers(file.Get()) != 0) {
        return {ReplaceOutcome::Replaced, {}};
    }
    std::string reason = ErrorText("write in place");
    if (WriteFrom(file.Get(), 0, *old, {}) && SetSize(file.Get(), old->size()) &&
        ::FlushFileBuffers(file.Get()) != 0) {
        return {ReplaceOutcome::Failed, reason + " (old content put back)"};
    }
    return {ReplaceOutcome::RestoreFailed,
            reason + "; " + ErrorText("putting the old content back")};
}

} // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
    Handle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || ::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    return ReadAll(file.Get());
}

bool FileExists(const std::string& path) {
    return Attributes(Widen(path)) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnlyFile(const std::string& path) {
    const std::wstring wide = Widen(path);
    const DWORD attributes = Attributes(wide);
    if (attributes == INVALID_FILE_ATTRIBUTES || IsFolder(attributes)) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return true;
    }
    Handle probe(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe.Valid() && ::GetLastError() == ERROR_ACCESS_DENIED;
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

ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 const WriteLimit& limit) {
    const std::wstring target = Widen(path);
    const DWORD attributes = Attributes(target);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && IsFolder(attributes)) {
        return {ReplaceOutcome::Failed, "not a regular file"};
    }
    if (exists && IsReadOnlyFile(path)) {
        return {ReplaceOutcome::ReadOnly, "write-protected"};
    }
    const StepResult swapped = ReplaceBySwap(target, exists, content, limit);
    if (swapped.Result == Step::Done) {
        return {ReplaceOutcome::Replaced, {}};
    }
    if (swapped.Result == Step::Failed || !exists) {
        return {ReplaceOutcome::Failed, swapped.Reason};
    }
    return ReplaceInPlace(target, content, limit);
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
