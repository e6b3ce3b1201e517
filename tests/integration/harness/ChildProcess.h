// A helper program run for a test (kelmar-sim, socat, a Python peer): its standard output is
// gathered by a reader thread and can be waited on line by line. POSIX only; the object owns
// the child and kills it at destruction if it still runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::testing {

class TChildProcess {
  public:
    // argv[0] is the program path; extraEnv entries are "NAME=value". Throws when it cannot start.
    TChildProcess(const std::vector<std::string>& argv,
                  const std::vector<std::string>& extraEnv = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // The first output line (stdout and stderr together) that starts with prefix, waiting up to
    // timeout for it; nullopt when it did not come.
    std::optional<std::string> WaitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout);
    void Signal(int signal);
    // Waits up to timeout for the child to end; its exit status (as waitpid gives it) or nullopt.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    std::string Output(); // everything read so far

  private:
    void ReadOutput();

    int Pid = -1;
    int OutFd = -1;
    bool Reaped = false;
    int Status = 0;
    std::mutex Lock;
    std::condition_variable Arrived;
    std::string Text;
    bool Eof = false;
    std::thread Reader;
};

} // namespace quorvel::testing
