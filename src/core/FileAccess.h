// Whole-file reads and safe whole-file replacement, by UTF-8 path, for the settings file.
// The platform's primitives are in its own file chosen by the build (POSIX, Win32 wide calls); the
// replace policy is written once over them (FilePlatform.h). Blocking calls, no shared state.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The file's bytes, or nothing when it does not exist, is not a regular file or cannot be read.
// A pipe, device or folder is never opened for reading, so nothing waits on a writer or a line.
std::optional<std::string> ReadFileBytes(const std::string& path);
// True when anything is at the path (a file, folder, pipe, ...), a link followed.
bool FileExists(const std::string& path);

// True when the file exists and must not be replaced: write-protected by its permission bits or
// its read-only attribute (so a privileged process honours it too), or not openable for writing.
bool IsReadOnlyFile(const std::string& path);

// Creates the folder and any missing parents (new ones private to the user); true when it exists.
bool CreateFolders(const std::string& path);

// How many of the next size bytes the disk accepts now; 0 means it is full. Lets tests fail a
// save half way; the default accepts everything.
using WriteLimit = std::function<std::size_t(std::size_t size)>;

enum class ReplaceOutcome {
    Replaced,      // the new content is on disk
    ReadOnly,      // write-protected: nothing was touched
    Failed,        // not written; the old file (if any) is unchanged
    RestoreFailed, // written in place, failed, and the old content could not be put back either
};

struct ReplaceResult {
    ReplaceOutcome Outcome = ReplaceOutcome::Failed;
    std::string Reason; // for developers (stderr); empty when replaced
    explicit operator bool() const { return Outcome == ReplaceOutcome::Replaced; }
};

// Replaces the file by the complete new content (FileReplace.cpp). Normally a temporary file in the
// same folder is written, flushed and swapped in, keeping the old file's owner, group and mode
// (Windows: its attributes and ACL); a swap held up by another program is retried for a moment,
// and one that Windows leaves half done is completed. When the folder may not be written but the
// file may (or its owner cannot be kept), the content is written over the file in place, its size
// reserved first, with the old content put back should that fail. A link is followed; a folder,
// pipe, device or read-only file is refused. Temporary files of earlier saves that never finished
// are removed once a save succeeds.
ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 const WriteLimit& limit = {});

// The line ends of a written settings file, given the one its first line has (empty: none).
// Windows: CR LF on every line, as its profile functions write them. Elsewhere: the file's own
// for the lines written (LF for a new file), every other line untouched.
struct LineEndRule {
    std::string_view End;
    bool EveryLine = false;
};
LineEndRule LineEndForWriting(std::string_view fileLineEnd);

// Full UTF-8 path of the running executable; empty when the system cannot tell.
std::string ExecutableFilePath();

} // namespace quorvel
