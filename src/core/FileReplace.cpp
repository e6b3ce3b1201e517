// Replacing a file whole, written once for every platform over its primitives: a temporary file
// beside the target, written, flushed and swapped in; or, where the folder takes no new file, the
// target rewritten in place with its space reserved first. On any failure the old content stays.
#include "FilePlatform.h"

#include <array>
#include <random>

namespace quorvel {

namespace {

// Another program (an antivirus scanner, the search indexer, a backup) may hold a just-written
// file for a moment; Windows answers sharing violation or access denied meanwhile. About 1.6 s.
constexpr std::array<int, 7> RetryPausesMs{20, 40, 80, 160, 320, 500, 500};

// A temporary file older than this was left by a save that never finished; a younger one may
// belong to a save that another console runs at this moment.
constexpr std::chrono::seconds StaleAge{60};

constexpr std::string_view TemporaryMark = ".tmp";

bool HeldByAnother(const FileStatus& status) {
    return status.Fault == FileFault::Busy || status.Fault == FileFault::Refused;
}

template <typename Step> FileStatus WithRetries(TFilePlatform& platform, Step step) {
    FileStatus status = step();
    for (const int pause : RetryPausesMs) {
        if (status || !HeldByAnother(status)) {
            break;
        }
        platform.Pause(std::chrono::milliseconds(pause));
        status = step();
    }
    return status;
}

std::size_t NameStart(const std::string& path) {
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string FolderOf(const std::string& path) {
    const std::size_t start = NameStart(path);
    if (start == 0) {
        return ".";
    }
    return start == 1 ? path.substr(0, 1) : path.substr(0, start - 1);
}

// ".quorvel.ini.tmp123" beside "quorvel.ini".
std::string TemporaryName(const std::string& target) {
    static std::random_device random;
    const std::size_t start = NameStart(target);
    return target.substr(0, start) + "." + target.substr(start) + std::string(TemporaryMark) +
           std::to_string(random());
}

ReplaceResult Fail(ReplaceOutcome outcome, const FileStatus& status) {
    return {outcome, status.Text};
}

// Writes all of content from offset 0, in the pieces the disk (or the test's limit) takes.
FileStatus WriteAll(TFilePlatform& platform, FileHandle file, std::string_view content,
                    const WriteLimit& limit) {
    std::size_t offset = 0;
    while (offset < content.size()) {
        const std::size_t rest = content.size() - offset;
        const std::size_t allowed = limit ? std::min(limit(rest), rest) : rest;
        if (allowed == 0) {
            return {FileFault::NoSpace, "write: disk full"};
        }
        std::size_t written = 0;
        FileStatus status =
            platform.WriteSome(file, offset, content.substr(offset, allowed), written);
        if (!status) {
            return status;
        }
        if (written == 0) {
            return {FileFault::Other, "write: nothing written"};
        }
        offset += written;
    }
    return {};
}

// Closes the handle when it goes out of scope unless Close was called.
class OpenFile {
  public:
    explicit OpenFile(TFilePlatform& platform) : Platform(platform) {}
    ~OpenFile() {
        if (Handle != NoFileHandle) {
            Platform.Close(Handle);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    FileHandle& Get() { return Handle; }
    FileStatus Close() {
        const FileHandle handle = Handle;
        Handle = NoFileHandle;
        return Platform.Close(handle);
    }

  private:
    TFilePlatform& Platform;
    FileHandle Handle = NoFileHandle;
};

FileStatus CreateTemporary(TFilePlatform& platform, const std::string& target, bool keepOld,
                           std::string& name, OpenFile& file) {
    FileStatus status;
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = TemporaryName(target);
        status = platform.CreateNew(name, keepOld ? target : std::string(), file.Get());
        if (status.Fault != FileFault::Exists) {
            break;
        }
    }
    return status;
}

struct SwapResult {
    ReplaceResult Result;
    bool InPlaceMayServe = false; // refused by the folder or the owner: nothing was changed
};

// After a failed swap: Windows documents that ReplaceFileW may have taken the old file away and
// left the new one under its temporary name; then the new one is moved into place. Otherwise the
// old file stays and the temporary one goes.
SwapResult Recover(TFilePlatform& platform, const std::string& temporary, const std::string& target,
                   const FileStatus& swapped) {
    if (!platform.Exists(target) && platform.Exists(temporary)) {
        const FileStatus moved =
            WithRetries(platform, [&] { return platform.MoveTo(temporary, target); });
        if (moved) {
            return {{ReplaceOutcome::Replaced, {}}};
        }
        return {{ReplaceOutcome::RestoreFailed, swapped.Text + "; old file gone, " + moved.Text +
                                                    "; the new content is in " + temporary}};
    }
    if (!platform.Exists(target)) {
        return {{ReplaceOutcome::RestoreFailed, swapped.Text + "; old and new file both gone"}};
    }
    platform.Remove(temporary);
    return {{ReplaceOutcome::Failed, swapped.Text}, swapped.Fault == FileFault::Refused};
}

SwapResult ReplaceBySwap(TFilePlatform& platform, const std::string& target, bool exists,
                         std::string_view content, const WriteLimit& limit) {
    std::string temporary;
    OpenFile file(platform);
    const FileStatus created = CreateTemporary(platform, target, exists, temporary, file);
    if (!created) {
        return {Fail(ReplaceOutcome::Failed, created), created.Fault == FileFault::Refused};
    }
    FileStatus status = WriteAll(platform, file.Get(), content, limit);
    if (status) {
        status = platform.Flush(file.Get());
    }
    const FileStatus closed = file.Close();
    if (status && !closed) {
        status = closed;
    }
    if (!status) {
        platform.Remove(temporary);
        return {Fail(ReplaceOutcome::Failed, status)};
    }
    const FileStatus swapped = WithRetries(platform, [&] {
        return exists ? platform.Swap(temporary, target) : platform.MoveTo(temporary, target);
    });
    if (swapped) {
        return {{ReplaceOutcome::Replaced, {}}};
    }
    if (!exists) {
        platform.Remove(temporary);
        return {Fail(ReplaceOutcome::Failed, swapped)};
    }
    return Recover(platform, temporary, target, swapped);
}

// Puts the old bytes back after a failed write in place.
ReplaceResult PutBack(TFilePlatform& platform, FileHandle file, const std::string& old,
                      const FileStatus& failure) {
    FileStatus status = WriteAll(platform, file, old, {});
    if (status) {
        status = platform.SetSize(file, old.size());
    }
    if (status) {
        status = platform.Flush(file);
    }
    if (status) {
        return {ReplaceOutcome::Failed, failure.Text + " (old content put back)"};
    }
    return {ReplaceOutcome::RestoreFailed,
            failure.Text + "; putting the old content back: " + status.Text};
}

// Overwrites the file itself: the whole new size is reserved first, so a full disk stops the save
// before any byte changes; should a write fail all the same, the old bytes go back.
ReplaceResult ReplaceInPlace(TFilePlatform& platform, const std::string& target,
                             std::string_view content, const WriteLimit& limit) {
    OpenFile file(platform);
    FileStatus status =
        WithRetries(platform, [&] { return platform.OpenForUpdate(target, file.Get()); });
    std::string old;
    if (status) {
        status = platform.ReadAll(file.Get(), old);
    }
    if (!status) {
        return Fail(ReplaceOutcome::Failed, status);
    }
    if (content.size() > old.size()) {
        status = platform.Reserve(file.Get(), content.size());
        if (!status) {
            // Give back what a partial reservation grew; the old bytes were never touched.
            platform.SetSize(file.Get(), old.size());
            return Fail(ReplaceOutcome::Failed, status);
        }
    }
    status = WriteAll(platform, file.Get(), content, limit);
    if (status) {
        status = platform.SetSize(file.Get(), content.size());
    }
    if (status) {
        status = platform.Flush(file.Get());
    }
    if (!status) {
        return PutBack(platform, file.Get(), old, status);
    }
    status = file.Close();
    return status ? ReplaceResult{ReplaceOutcome::Replaced, {}}
                  : Fail(ReplaceOutcome::Failed, status);
}

// Temporary files that earlier saves left behind (a crash, a power cut) go once a save succeeds.
void RemoveStaleTemporaries(TFilePlatform& platform, const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string base = target.substr(NameStart(target));
    const std::string prefix = target.substr(0, NameStart(target));
    for (const FolderEntry& entry : platform.ListFolder(folder)) {
        if (entry.Age >= StaleAge && IsTemporaryNameOf(entry.Name, base)) {
            platform.Remove(prefix + entry.Name);
        }
    }
}

} // namespace

std::chrono::milliseconds SwapRetrySpan() {
    int total = 0;
    for (const int pause : RetryPausesMs) {
        total += pause;
    }
    return std::chrono::milliseconds(total);
}

bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
    if (name.starts_with('.')) {
        name.remove_prefix(1); // the older Windows builds named them without the dot
    }
    if (base.empty() || !name.starts_with(base)) {
        return false;
    }
    name.remove_prefix(base.size());
    if (!name.starts_with(TemporaryMark)) {
        return false;
    }
    name.remove_prefix(TemporaryMark.size());
    return !name.empty() && name.find_first_not_of("0123456789") == std::string_view::npos;
}

ReplaceResult ReplaceFileContentWith(TFilePlatform& platform, const std::string& path,
                                     std::string_view content, const WriteLimit& limit) {
    const std::string target = platform.FollowLinks(path);
    if (target.empty()) {
        return {ReplaceOutcome::Failed, "a link that leads nowhere"};
    }
    const PathKind kind = platform.Kind(target);
    switch (kind) {
    case PathKind::NotRegular:
        return {ReplaceOutcome::Failed, "not a regular file"};
    case PathKind::Unknown:
        return {ReplaceOutcome::Failed, "cannot be examined"};
    case PathKind::ReadOnly:
        return {ReplaceOutcome::ReadOnly, "write-protected"};
    case PathKind::Absent:
    case PathKind::Regular:
        break;
    }
    const bool exists = kind == PathKind::Regular;
    const SwapResult swapped = ReplaceBySwap(platform, target, exists, content, limit);
    if (swapped.Result) {
        RemoveStaleTemporaries(platform, target);
        return swapped.Result;
    }
    if (exists && swapped.InPlaceMayServe) {
        return ReplaceInPlace(platform, target, content, limit);
    }
    return swapped.Result;
}

ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 const WriteLimit& limit) {
    return ReplaceFileContentWith(NativeFilePlatform(), path, content, limit);
}

} // namespace quorvel
