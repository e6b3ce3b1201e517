// The simulator's end of the line: a pseudo-terminal master, with the slave side kept open
// by the simulator itself so that clients may come and go without the master seeing a hang-up.
// Owns both descriptors; single-threaded.
#pragma once

#include <string>

namespace quorvel::sim {

class PtyPort {
  public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Creates the pty, puts the slave side in raw mode; false with error() set on failure.
    bool Open();
    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    const std::string& Error() const { return error_; }

  private:
    bool Fail(const std::string& what);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string error_;
};

} // namespace quorvel::sim
