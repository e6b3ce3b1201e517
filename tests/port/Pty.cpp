#include "Pty.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace quorvel::test {

TPty::TPty() {
    Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master >= 0) {
        ::fcntl(Master, F_SETFL, ::fcntl(Master, F_GETFL) | O_NONBLOCK);
    }
    char name[128] = {};
    if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0 ||
        ::ptsname_r(Master, name, sizeof name) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    Path = name;
    Slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

TPty::~TPty() {
    CloseMaster();
    CloseSlave();
}

bool TPty::Write(const ByteString& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(Master, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
        pollfd entry{Master, POLLOUT, 0};
        if (done < bytes.size() && ::poll(&entry, 1, 20000) <= 0) {
            return false; // nobody reads the other side
        }
    }
    return true;
}

void TPty::Offer(const ByteString& bytes) {
    [[maybe_unused]] const ssize_t n = ::write(Master, bytes.data(), bytes.size());
}

ByteString TPty::Read(std::size_t count, std::chrono::milliseconds timeout) {
    ByteString got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{Master, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::uint8_t buffer[4096];
        const ssize_t n = ::read(Master, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

void TPty::CloseMaster() {
    if (Master >= 0) {
        ::close(Master);
        Master = -1;
    }
}

void TPty::CloseSlave() {
    if (Slave >= 0) {
        ::close(Slave);
        Slave = -1;
    }
}

TTempFolder::TTempFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/quorvel-port-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no temporary folder");
    }
    Folder = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code error;
    std::filesystem::remove_all(Folder, error);
}

void RegisterLink(const std::string& folder, const std::string& name, const std::string& target) {
    namespace fs = std::filesystem;
    if (!fs::exists(folder)) {
        fs::create_directories(folder);
        // Whatever the umask: the link only trusts a folder nobody else may write to.
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    }
    const std::string link = folder + "/" + name;
    std::error_code error;
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(target, link);
}

} // namespace quorvel::test
