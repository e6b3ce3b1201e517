// Folder where virtual serial ports (simulator ptys, socat pairs) are registered as symbolic
// links named after the port: $XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports.
// POSIX only; plain functions, callable from any thread.
#pragma once

#include <string>

namespace quorvel {

// The folder path (not created).
std::string VirtualPortFolder();

// true when folder may be trusted: a real directory (not a symbolic link) of this user that
// neither group nor others may write to, in a parent where nobody else can replace it. In /tmp
// another local user could have made it first and planted links in it.
bool IsPrivatePortFolder(const std::string& folder);

// IsPrivatePortFolder, with one line on stderr the first time a folder that exists is refused.
bool UsablePortFolder(const std::string& folder);

} // namespace quorvel
