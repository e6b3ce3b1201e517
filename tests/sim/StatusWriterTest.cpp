#include "StatusWriter.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::sim {
namespace {

// A write that stalls until released, as a rename does on a busy disk.
class StallingFile {
  public:
    void Write(const std::string& text) {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return open_; });
        texts_.push_back(text);
    }
    void Release() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        released_.notify_all();
    }
    std::vector<std::string> Texts() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool open_ = false;
    std::vector<std::string> texts_;
};

TEST(StatusWriter, SubmitsGoOnWhileAWriteStallsAndTheLatestTextIsWritten) {
    StallingFile file;
    StatusWriter writer([&file](const std::string& text) { file.Write(text); });
    // Each submit returns at once; were one to wait for the stalled write, this would never end.
    for (int count = 1; count <= 50; ++count) {
        writer.Submit("requests " + std::to_string(count));
    }
    file.Release();
    writer.Flush();
    const std::vector<std::string> texts = file.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "requests 50");
    EXPECT_LE(texts.size(), 2u) << "texts submitted during the stall are skipped";
}

TEST(StatusWriter, WritesWhatIsPendingBeforeItStops) {
    StallingFile file;
    file.Release();
    {
        StatusWriter writer([&file](const std::string& text) { file.Write(text); });
        writer.Submit("first");
        writer.Submit("last");
    }
    const std::vector<std::string> texts = file.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "last");
}

} // namespace
} // namespace quorvel::sim
