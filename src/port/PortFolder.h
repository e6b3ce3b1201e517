// Folder where virtual serial ports (simulator ptys, socat pairs) are registered as symbolic
// links named after the port: $XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports.
#pragma once

#include <string>

namespace quorvel {

// The folder path (not created); POSIX only.
std::string VirtualPortFolder();

} // namespace quorvel
