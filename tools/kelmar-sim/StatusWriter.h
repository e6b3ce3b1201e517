// Keeps the status file current from a thread of its own, so that a file call that stalls (a
// rename waiting for a busy disk's journal) never holds up a reply. Submit and Flush from one
// thread; the write function runs on the writer's thread only.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace quorvel::sim {

class StatusWriter {
  public:
    using WriteFunction = std::function<void(const std::string& text)>;

    explicit StatusWriter(WriteFunction write);
    // Writes what is still pending, then stops.
    ~StatusWriter();
    StatusWriter(const StatusWriter&) = delete;
    StatusWriter& operator=(const StatusWriter&) = delete;

    // Returns at once. Only the latest text submitted is sure to be written: one still pending
    // when a newer comes is skipped, as readers only ever want the current state.
    void Submit(std::string text);
    // Returns once everything submitted so far is written.
    void Flush();

  private:
    void Run();

    WriteFunction write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string pending_;
    std::uint64_t submitted_ = 0;
    std::uint64_t written_ = 0;
    bool stop_ = false;
    std::thread thread_; // last: starts once the members above exist
};

} // namespace quorvel::sim
