// Folder where virtual serial ports are registered as symbolic links named after the port
// ($XDG_RUNTIME_DIR/quorvel/ports, else /tmp/quorvel-<uid>/ports), used only when nobody else can
// plant links in it, and then through the descriptor it was checked on. POSIX; one thread a folder.
#pragma once

#include "PortOrigin.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvel {

// The folder path (not created).
std::string VirtualPortFolder();

struct TRegisteredPort {
    std::string Name;
    std::string Target; // what the link names
};

class TPortFolder {
  public:
    // The folder when it may be trusted: a real directory (not a symbolic link) of this user
    // that neither group nor others may write to, in a parent (itself no symbolic link) where
    // nobody else can replace it. In /tmp another local user could have made either first.
    // nullptr otherwise, with one line on stderr the first time a folder that exists is refused.
    static std::unique_ptr<TPortFolder> Open(const std::string& folder);
    ~TPortFolder();
    TPortFolder(const TPortFolder&) = delete;
    TPortFolder& operator=(const TPortFolder&) = delete;

    const std::string& Path() const { return Folder; }
    // The registered ports whose target exists, in the folder's order. Names beginning with '.'
    // are registrations being made (.NAME.tmpPID) or left half made by a crash: not ports.
    std::vector<TRegisteredPort> List() const;
    // name's registration; Link false when name is none (or no port name).
    TPathEntry Entry(const std::string& name) const;
    // Opens what name's registration leads to; -1 (errno set) when it cannot.
    int OpenPort(const std::string& name, int flags) const;
    // Why the user may not open name's target (Hungarian); empty when nothing stands in the way.
    std::string AccessNote(const std::string& name) const;

  private:
    TPortFolder(std::string folder, int fd) : Folder(std::move(folder)), Fd(fd) {}

    std::string Folder;
    int Fd;
};

} // namespace quorvel
