// A named pipe where the settings file should be: the window opens with the defaults without
// waiting for a writer of the pipe, and the close reports the settings as not written.
#include "WindowHarness.h"

#include "Messagedialog.h"

#include <QComboBox>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvel::test {
namespace {

// Should the start wait on the pipe, after a generous while its writing end is opened so that
// the test ends (and fails) instead of hanging.
class PipeRescue {
  public:
    explicit PipeRescue(std::string fifo) : Fifo(std::move(fifo)) {
        Watch = std::thread([this] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!Done && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            while (!Done) {
                Rescued = true;
                const int fd = ::open(Fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~PipeRescue() {
        Done = true;
        Watch.join();
    }
    PipeRescue(const PipeRescue&) = delete;
    PipeRescue& operator=(const PipeRescue&) = delete;
    bool WasNeeded() const { return Rescued; }

  private:
    std::string Fifo;
    std::atomic<bool> Done{false};
    std::atomic<bool> Rescued{false};
    std::thread Watch;
};

TEST(ClosingPosixTest, PipeAtTheSettingsPathNeitherHoldsTheStartNorIsWritten) {
    WindowHarness harness;
    ASSERT_EQ(::mkfifo(harness.SettingsPath().c_str(), 0600), 0);
    {
        PipeRescue rescue(harness.SettingsPath());
        harness.Create();
        EXPECT_FALSE(rescue.WasNeeded()) << "the start waited for a writer of the pipe";
    }
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Baudrate")->currentText(), QStringLiteral("38400"));
    PipeRescue rescue(harness.SettingsPath());
    const MessageDialogSeen seen = RunExpectingMessageDialog([&] { harness.Close(); });
    EXPECT_FALSE(rescue.WasNeeded()) << "the close waited for a writer of the pipe";
    EXPECT_EQ(seen.Showings, 1);
    EXPECT_EQ(seen.Title, QStringLiteral("quorvel.ini"));
    EXPECT_EQ(seen.Kind, mkError);
    EXPECT_TRUE(std::filesystem::is_fifo(harness.SettingsPath()));
}

} // namespace
} // namespace quorvel::test
