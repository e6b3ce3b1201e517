// POSIX file access for the settings file: open/write/fsync/rename, fchown and fchmod.
#include "FileAccess.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

std::string ErrorText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : Fd(fd) {}
    ~FileDescriptor() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return Fd; }
    bool Close() {
        const int fd = Fd;
        Fd = -1;
        return ::close(fd) == 0;
    }

  private:
    int Fd;
};

std::size_t Allowed(const WriteLimit& limit, std::size_t size) {
    return limit ? std::min(limit(size), size) : size;
}

// Writes all of content at offset; false (errno set) on failure.
bool WriteAt(int fd, std::string_view content, off_t offset, const WriteLimit& limit) {
    while (!content.empty()) {
        const std::size_t allowed = Allowed(limit, content.size());
        if (allowed == 0) {
            errno = ENOSPC;
            return false;
        }
        const ssize_t written = ::pwrite(fd, content.data(), allowed, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            if (written == 0) {
                errno = EIO;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

std::optional<std::string> ReadAll(int fd) {
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return content;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The folder's entries are made durable too, so the rename survives a power cut.
void SyncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) {
        ::fsync(fd.Get());
    }
}

// A link is followed, so the file it names is replaced and the link itself stays.
std::optional<std::string> ResolveTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::nullopt; // a dangling link: nothing sensible to replace
    }
    std::string target(resolved);
    std::free(resolved);
    return target;
}

bool WriteBitsCleared(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Opens a fresh temporary file beside the target; -1 with errno when the folder refuses it.
int CreateTemporary(const std::string& target, bool keepPrivate, std::string& name) {
    static std::random_device random;
    const std::string folder = FolderOf(target);
    const std::string base = target.substr(target.rfind('/') + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = folder + "/." + base + ".tmp" + std::to_string(random());
        // A replacement starts private and gets the old file's mode once its owner is set;
        // a new file gets the usual mode less the umask.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              keepPrivate ? 0600 : 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

enum class Step { Done, Refused, Failed };

struct StepResult {
    Step Result;
    std::string Reason;
};

// Temporary file, flushed, owner and mode of the old file, renamed over it. Refused (nothing
// changed) when the folder takes no new file or the old owner cannot be given to the new one.
StepResult ReplaceByRename(const std::string& target, const struct stat* old,
                           std::string_view content, const WriteLimit& limit) {
    std::string name;
    FileDescriptor fd(CreateTemporary(target, old != nullptr, name));
    if (fd.Get() < 0) {
        const bool folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        return {folderRefuses ? Step::Refused : Step::Failed, ErrorText("temporary file")};
    }
    const auto discard = [&](Step step, std::string reason) {
        ::unlink(name.c_str());
        return StepResult{step, std::move(reason)};
    };
    if (old != nullptr) {
        struct stat fresh {};
        const bool sameOwner = ::fstat(fd.Get(), &fresh) == 0 && fresh.st_uid == old->st_uid &&
                               fresh.st_gid == old->st_gid;
        if (!sameOwner && ::fchown(fd.Get(), old->st_uid, old->st_gid) != 0) {
            return discard(Step::Refused, ErrorText("owner cannot be kept"));
        }
        if (::fchmod(fd.Get(), old->st_mode & 07777) != 0) {
            return discard(Step::Failed, ErrorText("mode cannot be kept"));
        }
    }
    if (!WriteAt(fd.Get(), content, 0, limit)) {
        return discard(Step::Failed, ErrorText("write"));
    }
    if (::fsync(fd.Get()) != 0) {
        return discard(Step::Failed, ErrorText("fsync"));
    }
    if (!fd.Close()) {
        return discard(Step::Failed, ErrorText("close"));
    }
    if (::rename(name.c_str(), target.c_str()) != 0) {
        return discard(Step::Failed, ErrorText("rename"));
    }
    SyncFolder(FolderOf(target));
    return {Step::Done, {}};
}

// Overwrites the file itself: the whole new size is reserved first, so a full disk stops the
// save before any byte changes; should a write fail all the same, the old bytes go back.
ReplaceResult ReplaceInPlace(const std::string& target, std::string_view content,
                             const WriteLimit& limit) {
    FileDescriptor fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (fd.Get() < 0) {
        return {ReplaceOutcome::Failed, ErrorText("open in place")};
    }
    const auto old = ReadAll(fd.Get());
    if (!old) {
        return {ReplaceOutcome::Failed, ErrorText("read before writing in place")};
    }
    const auto oldSize = static_cast<off_t>(old->size());
    const auto newSize = static_cast<off_t>(content.size());
    if (newSize > oldSize) {
        const int error = ::posix_fallocate(fd.Get(), 0, newSize);
        if (error != 0) {
            // Give back what a partial reservation grew; the old bytes were never touched.
            const bool shrunk = ::ftruncate(fd.Get(), oldSize) == 0;
            errno = error;
            return {ReplaceOutcome::Failed,
                    ErrorText("reserve space") + (shrunk ? "" : " (file left longer)")};
        }
    }
    if (WriteAt(fd.Get(), content, 0, limit) && ::ftruncate(fd.Get(), newSize) == 0 &&
        ::fsync(fd.Get()) == 0) {
        return {ReplaceOutcome::Replaced, {}};
    }
    std::string reason = ErrorText("write in place");
    if (WriteAt(fd.Get(), *old, 0, {}) && ::ftruncate(fd.Get(), oldSize) == 0 &&
        ::fsync(fd.Get()) == 0) {
        return {ReplaceOutcome::Failed, reason + " (old content put back)"};
    }
    return {ReplaceOutcome::RestoreFailed,
            reason + "; " + ErrorText("putting the old content back")};
}

} // namespace

std::optional<std::string> ReadFileBytes(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return ReadAll(fd.Get());
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false; // absent: a new file may be created
    }
    if (WriteBitsCleared(info)) {
        return true; // judged by the bits: a privileged process could write it all the same
    }
    return S_ISREG(info.st_mode) && ::access(path.c_str(), W_OK) != 0;
}

bool CreateFolders(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) == 0) {
        return !path.empty() && S_ISDIR(info.st_mode);
    }
    const std::string parent = FolderOf(path);
    if (parent != path && !CreateFolders(parent)) {
        return false;
    }
    if (::mkdir(path.c_str(), 0700) != 0) {
        return errno == EEXIST;
    }
    // Private and usable by its user whatever the umask took away.
    return ::chmod(path.c_str(), 0700) == 0;
}

ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 const WriteLimit& limit) {
    const auto target = ResolveTarget(path);
    if (!target) {
        return {ReplaceOutcome::Failed, "dangling link"};
    }
    struct stat old {};
    const bool exists = ::stat(target->c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        return {ReplaceOutcome::Failed, "not a regular file"};
    }
    if (exists && IsReadOnlyFile(*target)) {
        return {ReplaceOutcome::ReadOnly, "write-protected"};
    }
    const StepResult renamed = ReplaceByRename(*target, exists ? &old : nullptr, content, limit);
    if (renamed.Result == Step::Done) {
        return {ReplaceOutcome::Replaced, {}};
    }
    if (renamed.Result == Step::Failed || !exists) {
        return {ReplaceOutcome::Failed, renamed.Reason};
    }
    return ReplaceInPlace(*target, content, limit);
}

LineEndRule LineEndForWriting(std::string_view fileLineEnd) {
    return {fileLineEnd.empty() ? std::string_view("\n") : fileLineEnd, false};
}

std::string ExecutableFilePath() {
    std::string buffer(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) {
        return {};
    }
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

} // namespace quorvel
