#include "SimProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quorvel::sim::testing {

namespace {

using Clock = std::chrono::steady_clock;

std::string MakeTempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kelmar-sim-process-XXXXXX").string();
    return ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

std::optional<int> ExitCode(int status) {
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

int Remaining(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::int64_t>(left.count(), 0));
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) : folder_(MakeTempFolder()) {
    if (folder_.empty()) {
        return;
    }
    outputPath_ = folder_ + "/stdout";
    std::vector<std::string> all{KELMAR_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        const int out = ::open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(in, STDIN_FILENO);
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const auto deadline = Clock::now() + IoTimeout;
    while (Clock::now() < deadline) {
        for (const std::string& line : OutputLines()) {
            if (line.rfind("port ", 0) == 0) {
                linkPath_ = folder_ + "/quorvel/ports/" + line.substr(5);
                return;
            }
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{20});
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::optional<int> SimProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    ::kill(pid_, signal);
    return Wait();
}

std::optional<int> SimProcess::Wait() {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return ExitCode(status);
}

std::vector<std::string> SimProcess::OutputLines() const {
    std::vector<std::string> lines;
    std::ifstream in(outputPath_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::map<std::string, std::uint64_t> SimProcess::Summary() const {
    for (const std::string& line : OutputLines()) {
        if (line.rfind("summary ", 0) == 0) {
            return ParseFlatNumbers(line.substr(8));
        }
    }
    return {};
}

std::map<std::string, std::uint64_t> ParseFlatNumbers(const std::string& json) {
    std::map<std::string, std::uint64_t> numbers;
    std::size_t at = 0;
    while ((at = json.find('"', at)) != std::string::npos) {
        const std::size_t end = json.find('"', at + 1);
        const std::size_t colon = json.find(':', end);
        if (end == std::string::npos || colon == std::string::npos) {
            break;
        }
        const std::string key = json.substr(at + 1, end - at - 1);
        const char* digits = json.c_str() + colon + 1;
        char* after = nullptr;
        const auto value = std::strtoull(digits, &after, 10);
        if (after != digits) {
            numbers[key] = value;
        }
        at = colon;
    }
    return numbers;
}

PortClient::PortClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    termios raw{};
    if (::tcgetattr(fd_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
    }
}

PortClient::~PortClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool PortClient::Send(ByteView bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

ByteString PortClient::Receive(std::size_t count, std::chrono::milliseconds timeout) {
    ByteString bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count) {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, Remaining(deadline)) <= 0) {
            break;
        }
        std::uint8_t buffer[256];
        const std::size_t want = std::min(sizeof buffer, count - bytes.size());
        const ssize_t n = ::read(fd_, buffer, want);
        if (n > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
    }
    return bytes;
}

ByteString PortClient::ReceiveLine() {
    ByteString bytes;
    while (bytes.empty() || bytes.back() != '\n') {
        const ByteString one = Receive(1);
        if (one.empty()) {
            break;
        }
        bytes.push_back(one[0]);
    }
    return bytes;
}

} // namespace quorvel::sim::testing
