#include "PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::sim {

PtyPort::~PtyPort() {
    if (slave_ >= 0) {
        ::close(slave_);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PtyPort::Fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

bool PtyPort::Open() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        return Fail("posix_openpt");
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        return Fail("grantpt/unlockpt");
    }
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        return Fail("ptsname_r");
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        return Fail("open " + slavePath_);
    }
    termios raw{};
    if (::tcgetattr(slave_, &raw) != 0) {
        return Fail("tcgetattr");
    }
    // Bytes pass unchanged in both directions: no echo, no line editing, no CR/LF mapping.
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(slave_, TCSANOW, &raw) != 0) {
        return Fail("tcsetattr");
    }
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) {
        return Fail("fcntl O_NONBLOCK");
    }
    return true;
}

} // namespace quorvel::sim
