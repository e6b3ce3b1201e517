// POSIX file primitives for the settings file: open/pwrite/fsync/rename, fchown and fchmod,
// posix_fallocate; errno sorted into FileFault.
#include "FilePlatform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace quorvel {

namespace {

FileFault FaultOf(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return FileFault::Refused;
    case EBUSY:
    case ETXTBSY:
        return FileFault::Busy;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileFault::NoSpace;
    case EEXIST:
        return FileFault::Exists;
    case ENOENT:
    case ENOTDIR:
        return FileFault::Missing;
    default:
        return FileFault::Other;
    }
}

FileStatus Failure(const char* what, int error = errno) {
    return {FaultOf(error), std::string(what) + ": " + std::strerror(error)};
}

FileStatus Checked(bool done, const char* what) {
    return done ? FileStatus{} : Failure(what);
}

int Fd(FileHandle file) {
    return static_cast<int>(file);
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
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool WriteBitsCleared(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Judged by the bits first: a privileged process could write it all the same.
bool ReadOnly(const std::string& path, const struct stat& info) {
    return WriteBitsCleared(info) || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

std::optional<std::string> ReadRest(int fd) {
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

// Takes the owner, group and mode of the file at keepFrom.
FileStatus KeepOwnerAndMode(int fd, const std::string& keepFrom) {
    struct stat old {};
    struct stat fresh {};
    if (::stat(keepFrom.c_str(), &old) != 0 || ::fstat(fd, &fresh) != 0) {
        return Failure("examine the old file");
    }
    const bool sameOwner = fresh.st_uid == old.st_uid && fresh.st_gid == old.st_gid;
    if (!sameOwner && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        return {FileFault::Refused, Failure("owner cannot be kept").Text};
    }
    return Checked(::fchmod(fd, old.st_mode & 07777) == 0, "mode cannot be kept");
}

class PosixFilePlatform final : public TFilePlatform {
  public:
    std::string FollowLinks(const std::string& path) override {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return {};
        }
        std::string target(resolved);
        std::free(resolved);
        return target;
    }

    PathKind Kind(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return errno == ENOENT ? PathKind::Absent : PathKind::Unknown;
        }
        if (!S_ISREG(info.st_mode)) {
            return PathKind::NotRegular;
        }
        return ReadOnly(path, info) ? PathKind::ReadOnly : PathKind::Regular;
    }

    bool Exists(const std::string& path) override { return FileExists(path); }

    std::vector<FolderEntry> ListFolder(const std::string& folder) override {
        std::vector<FolderEntry> entries;
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) {
            return entries;
        }
        const time_t now = ::time(nullptr);
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(info.st_mode)) {
                entries.push_back({entry->d_name, std::chrono::seconds(now - info.st_mtime)});
            }
        }
        ::closedir(dir);
        return entries;
    }

    FileStatus CreateNew(const std::string& path, const std::string& keepFrom,
                         FileHandle& file) override {
        // A replacement starts private and gets the old file's mode once its owner is set; a
        // first file gets the usual mode less the umask.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              keepFrom.empty() ? 0666 : 0600);
        if (fd < 0) {
            return Failure("temporary file");
        }
        file = fd;
        if (keepFrom.empty()) {
            return {};
        }
        FileStatus kept = KeepOwnerAndMode(fd, keepFrom);
        if (!kept) {
            ::close(fd);
            file = NoFileHandle;
            ::unlink(path.c_str());
        }
        return kept;
    }

    FileStatus OpenForUpdate(const std::string& path, FileHandle& file) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return Failure("open in place");
        }
        file = fd;
        return {};
    }

    FileStatus ReadAll(FileHandle file, std::string& content) override {
        if (::lseek(Fd(file), 0, SEEK_SET) != 0) {
            return Failure("read");
        }
        auto read = ReadRest(Fd(file));
        if (!read) {
            return Failure("read");
        }
        content = std::move(*read);
        return {};
    }

    FileStatus Reserve(FileHandle file, std::size_t size) override {
        const int error = ::posix_fallocate(Fd(file), 0, static_cast<off_t>(size));
        return error == 0 ? FileStatus{} : Failure("reserve space", error);
    }

    FileStatus WriteSome(FileHandle file, std::size_t offset, std::string_view bytes,
                         std::size_t& written) override {
        for (;;) {
            const ssize_t done =
                ::pwrite(Fd(file), bytes.data(), bytes.size(), static_cast<off_t>(offset));
            if (done >= 0) {
                written = static_cast<std::size_t>(done);
                return {};
            }
            if (errno != EINTR) {
                return Failure("write");
            }
        }
    }

    FileStatus SetSize(FileHandle file, std::size_t size) override {
        return Checked(::ftruncate(Fd(file), static_cast<off_t>(size)) == 0, "set size");
    }

    FileStatus Flush(FileHandle file) override { return Checked(::fsync(Fd(file)) == 0, "fsync"); }

    FileStatus Close(FileHandle file) override { return Checked(::close(Fd(file)) == 0, "close"); }

    FileStatus Swap(const std::string& replacement, const std::string& target) override {
        return MoveTo(replacement, target);
    }

    FileStatus MoveTo(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            return Failure("rename");
        }
        SyncFolder(FolderOf(to));
        return {};
    }

    FileStatus Remove(const std::string& path) override {
        return Checked(::unlink(path.c_str()) == 0, "remove");
    }

    void Pause(std::chrono::milliseconds span) override { std::this_thread::sleep_for(span); }
};

} // namespace

TFilePlatform& NativeFilePlatform() {
    static PosixFilePlatform platform;
    return platform;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    // Non-blocking, so opening a pipe without a writer or a serial line without carrier returns
    // at once; only a regular file is then read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> content;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        content = ReadRest(fd);
    }
    ::close(fd);
    return content;
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool IsReadOnlyFile(const std::string& path) {
    return NativeFilePlatform().Kind(path) == PathKind::ReadOnly;
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
