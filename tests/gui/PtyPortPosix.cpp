#include "WindowHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace quorvel::test {

PtyPort::PtyPort(const std::string& folder, const std::string& name) {
    Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(Master, 0);
    EXPECT_EQ(::grantpt(Master), 0);
    EXPECT_EQ(::unlockpt(Master), 0);
    RegisterPort(folder, name, ::ptsname(Master));
}

PtyPort::~PtyPort() {
    ::close(Master);
}

void PtyPort::Take(std::string& bytes) {
    pollfd entry{Master, POLLIN, 0};
    while (::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN) != 0) {
        char buffer[256];
        const ssize_t n = ::read(Master, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool PtyPort::Write(const std::string& bytes) {
    return ::write(Master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

} // namespace quorvel::test
