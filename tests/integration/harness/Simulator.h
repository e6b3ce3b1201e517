// kelmar-sim run for a test: its own runtime folder (so its port link never meets another
// simulator's), the pty it serves, its status file and its exit summary. POSIX only.
#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::testing {

// Every "name":number pair of a flat or nested JSON object line, by name (later ones win).
std::map<std::string, std::uint64_t> JsonNumbers(const std::string& json);

class TSimulator {
  public:
    // Starts kelmar-sim with the given extra options and waits for its pty; throws when it
    // does not come up. Without a status file the simulator writes nothing between requests.
    TSimulator(const std::string& program, const std::vector<std::string>& options,
               bool statusFile = true);
    ~TSimulator();

    const std::string& PtyPath() const { return Pty; }
    // Registers and counts from the status file (empty before the first write).
    std::map<std::string, std::uint64_t> Status() const;
    // Stops the simulator (SIGINT) and returns the numbers of its exit summary line.
    std::map<std::string, std::uint64_t> Stop();

  private:
    std::string Folder;
    std::string StatusFile;
    std::string Pty;
    std::unique_ptr<TChildProcess> Child;
};

} // namespace quorvel::testing
