#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvel::testing {

TChildProcess::TChildProcess(const std::vector<std::string>& argv,
                             const std::vector<std::string>& extraEnv) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);

    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        envText.emplace_back(*e);
    }
    envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> env;
    for (std::string& e : envText) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);

    const int rc = ::posix_spawn(&Pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
    OutFd = pipeFds[0];
    Reader = std::thread(&TChildProcess::ReadOutput, this);
}

TChildProcess::~TChildProcess() {
    if (!Reaped) {
        ::kill(Pid, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
    Reader.join();
    ::close(OutFd);
}

void TChildProcess::ReadOutput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(OutFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        std::lock_guard<std::mutex> guard(Lock);
        if (n <= 0) {
            Eof = true;
            Arrived.notify_all();
            return;
        }
        Text.append(buffer, static_cast<std::size_t>(n));
        Arrived.notify_all();
    }
}

std::optional<std::string> TChildProcess::WaitForLine(const std::string& prefix,
                                                      std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(Lock);
    std::optional<std::string> found;
    auto search = [&] {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = Text.find('\n', start);
            if (end == std::string::npos) {
                return Eof;
            }
            if (Text.compare(start, prefix.size(), prefix) == 0) {
                found = Text.substr(start, end - start);
                return true;
            }
            start = end + 1;
        }
    };
    Arrived.wait_for(lock, timeout, search);
    return found;
}

void TChildProcess::Signal(int signal) {
    if (!Reaped) {
        ::kill(Pid, signal);
    }
}

std::optional<int> TChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Reaped) {
        const pid_t r = ::waitpid(Pid, &Status, WNOHANG);
        if (r == Pid) {
            Reaped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Status;
}

std::string TChildProcess::Output() {
    std::lock_guard<std::mutex> guard(Lock);
    return Text;
}

} // namespace quorvel::testing
