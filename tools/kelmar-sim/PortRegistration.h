// Publishes the pty under a port name: a symbolic link <folder>/<name> → pty slave path in
// the virtual port folder, removed again by Remove() or the destructor. Single-threaded.
#pragma once

#include <string>

namespace quorvel::sim {

class PortRegistration {
  public:
    PortRegistration() = default;
    ~PortRegistration();
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    // Creates the folder (mode 0700, parents too) when missing and points folder/name at
    // target, replacing an older link of that name at once; false with Error() set on failure.
    bool Register(const std::string& folder, const std::string& name, const std::string& target);
    // Removes the link if it still points at our target (a newer simulator may own it now).
    void Remove();

    const std::string& LinkPath() const { return link_; }
    const std::string& Error() const { return error_; }

  private:
    std::string link_;
    std::string target_;
    std::string error_;
};

// Port names become one file name: no '/', not empty, not "." or "..".
bool IsValidPortName(const std::string& name);

// mkdir -p with mode 0700 for the parts it creates; every part must end up a real directory
// (not a symbolic link) and the last one must belong to this user. Error text on failure.
std::string MakePrivateFolder(const std::string& folder);

} // namespace quorvel::sim
