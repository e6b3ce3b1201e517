// The file primitives one platform offers (open, write, flush, swap, restore, ...), each a single
// system call or two with its failure sorted into a FileFault; the replace policy built on them is
// FileReplace.cpp, written once. Paths are UTF-8. No shared state; any one thread at a time.
#pragma once

#include "FileAccess.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// How a call failed, the same on every platform.
enum class FileFault {
    None,
    Refused, // no permission: POSIX EACCES, EPERM, EROFS; Windows access denied, write-protected
             // medium, privilege not held
    Busy,    // another program holds the file: POSIX EBUSY, ETXTBSY; Windows sharing or lock
             // violation, a replaced file that could not be removed
    NoSpace, // the disk or the quota is full
    Exists,  // a new file's name is taken
    Missing, // the file or a folder on its path is not there
    Other,
};

struct FileStatus {
    FileFault Fault = FileFault::None;
    std::string Text; // "what: the system's words", for developers
    explicit operator bool() const { return Fault == FileFault::None; }
};

enum class PathKind {
    Absent,
    Regular,    // a file that may be written
    ReadOnly,   // a file write-protected by its permission bits, attribute or access rights
    NotRegular, // a folder, pipe, device or socket
    Unknown,    // it cannot be examined
};

// An open file: a descriptor or a HANDLE.
using FileHandle = std::intptr_t;
inline constexpr FileHandle NoFileHandle = -1;

struct FolderEntry {
    std::string Name;
    std::chrono::seconds Age{0}; // since it was last written
};

class TFilePlatform {
  public:
    virtual ~TFilePlatform() = default;

    // The file the path names once every link on it is followed (the path itself when it names
    // no link); empty for a link that leads nowhere.
    virtual std::string FollowLinks(const std::string& path) = 0;
    virtual PathKind Kind(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual std::vector<FolderEntry> ListFolder(const std::string& folder) = 0;

    // A new file for writing; Exists when the name is taken. keepFrom: the file whose owner, group
    // and mode it takes (Refused when the owner cannot be kept); empty for a first file.
    virtual FileStatus CreateNew(const std::string& path, const std::string& keepFrom,
                                 FileHandle& file) = 0;
    virtual FileStatus OpenForUpdate(const std::string& path, FileHandle& file) = 0;
    virtual FileStatus ReadAll(FileHandle file, std::string& content) = 0;
    // Makes the file size bytes long with the disk space taken, so later writes cannot run out.
    virtual FileStatus Reserve(FileHandle file, std::size_t size) = 0;
    virtual FileStatus WriteSome(FileHandle file, std::size_t offset, std::string_view bytes,
                                 std::size_t& written) = 0;
    virtual FileStatus SetSize(FileHandle file, std::size_t size) = 0;
    virtual FileStatus Flush(FileHandle file) = 0;
    // Releases the handle whatever the outcome.
    virtual FileStatus Close(FileHandle file) = 0;

    // Puts replacement in the place of the existing target, target's attributes kept. On failure
    // Windows may leave the target gone and the replacement under its own name.
    virtual FileStatus Swap(const std::string& replacement, const std::string& target) = 0;
    // Moves a file to a name where none is: a first file, or the restore after a failed swap.
    virtual FileStatus MoveTo(const std::string& from, const std::string& to) = 0;
    virtual FileStatus Remove(const std::string& path) = 0;

    virtual void Pause(std::chrono::milliseconds span) = 0;
};

// The running platform's primitives.
TFilePlatform& NativeFilePlatform();

// The replace policy of ReplaceFileContent over the given primitives (tests give a double that
// fails as the platform documents).
ReplaceResult ReplaceFileContentWith(TFilePlatform& platform, const std::string& path,
                                     std::string_view content, const WriteLimit& limit = {});

// How long a swap held up by another program is retried before the save gives up.
std::chrono::milliseconds SwapRetrySpan();

// True for the name of a temporary file that a save of the file named base leaves behind.
bool IsTemporaryNameOf(std::string_view name, std::string_view base);

} // namespace quorvel
