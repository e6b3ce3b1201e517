#include "StatusWriter.h"

#include <utility>

namespace quorvel::sim {

StatusWriter::StatusWriter(WriteFunction write)
    : write_(std::move(write)), thread_([this] { Run(); }) {}

StatusWriter::~StatusWriter() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void StatusWriter::Submit(std::string text) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        pending_ = std::move(text);
        ++submitted_;
    }
    changed_.notify_all();
}

void StatusWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return written_ == submitted_; });
}

void StatusWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || written_ != submitted_; });
        if (written_ == submitted_) {
            return; // stopping, nothing pending
        }
        const std::string text = std::move(pending_);
        const std::uint64_t upTo = submitted_;
        lock.unlock();
        write_(text);
        lock.lock();
        written_ = upTo;
        changed_.notify_all();
    }
}

} // namespace quorvel::sim
