#include "WindowHarness.h"

#include <fcntl.h>
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

} // namespace quorvel::test
