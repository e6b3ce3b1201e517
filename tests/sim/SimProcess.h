// Runs kelmar-sim as a child process on a private port folder and talks to it through its
// port link like a serial client. Test helper; one instance per test, single-threaded.
#pragma once

#include "ByteString.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::sim::testing {

// Generous: sanitizer builds on a loaded two-core machine can be slow to start and answer.
inline constexpr std::chrono::seconds IoTimeout{30};

class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return !linkPath_.empty(); }
    const std::string& LinkPath() const { return linkPath_; }
    const std::string& Folder() const { return folder_; }
    int Pid() const { return pid_; }

    // Sends the signal and waits; the exit code, or nullopt if it did not exit normally.
    std::optional<int> Stop(int signal);
    // Waits for an exit the process makes by itself.
    std::optional<int> Wait();
    std::vector<std::string> OutputLines() const;
    // The numbers of the "summary {…}" line, by key; empty without one.
    std::map<std::string, std::uint64_t> Summary() const;

  private:
    std::string folder_;
    std::string outputPath_;
    std::string linkPath_;
    int pid_ = -1;
};

// A raw-mode client end of the port link.
class PortClient {
  public:
    explicit PortClient(const std::string& path);
    ~PortClient();
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Send(ByteView bytes);
    // Exactly count bytes, or fewer when the timeout passes first.
    ByteString Receive(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds{IoTimeout});
    // A line ending in LF, or what came before IoTimeout.
    ByteString ReceiveLine();

  private:
    int fd_ = -1;
};

// Flat JSON object of unsigned numbers → map (enough for the simulator's own output).
std::map<std::string, std::uint64_t> ParseFlatNumbers(const std::string& json);

} // namespace quorvel::sim::testing
