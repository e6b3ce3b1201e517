// What a serial port was opened through (Linux), kept to tell after the device has vanished
// whether opening the same name again can lead back to it. Plain values; no thread of its own.
#pragma once

#include <ctime>
#include <string>
#include <sys/types.h>

namespace quorvel {

// The directory entry a path names, when it is a symbolic link (a registered virtual port).
struct TPathEntry {
    bool Link = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    timespec Changed{};
};

bool operator==(const TPathEntry& a, const TPathEntry& b);

// Link false when path is no symbolic link or does not exist.
TPathEntry EntryOf(const std::string& path);

struct TPortOrigin {
    std::string Path;     // the path opened: a device node or a registered link
    TPathEntry Entry;     // that path's entry at the open
    bool Pty = false;     // the device was a pseudo-terminal
    std::string Folder{}; // the port folder of a registration; empty for a device node
    std::string Name{};   // the registration's name in Folder
};

bool IsPseudoTerminal(int fd);

// A vanished pseudo-terminal never comes back: its number goes to whichever program asks for a
// terminal next, while a registration may still name it. Its name leads back only through a
// registration made since the open (looked up through the trusted folder again). Any other
// device may return under its own name.
bool MayLeadBack(const TPortOrigin& origin);

} // namespace quorvel
