#include "PortFolder.h"

#include <cstdlib>
#include <unistd.h>

namespace quorvel {

std::string VirtualPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/quorvel/ports";
    }
    return "/tmp/quorvel-" + std::to_string(::getuid()) + "/ports";
}

} // namespace quorvel
