// Windows has no pseudo-terminals: the cases that need one are filtered out of the Windows run
// (tests/gui/CMakeLists.txt); the window's real COM port is exercised by the Wine lane.
#include "WindowHarness.h"

namespace quorvel::test {

PtyPort::PtyPort(const std::string& /*folder*/, const std::string& name) {
    ADD_FAILURE() << "no pseudo-terminal for " << name << " on Windows";
}

PtyPort::~PtyPort() = default;

void PtyPort::Take(std::string& /*bytes*/) {}

bool PtyPort::Write(const std::string& /*bytes*/) {
    return false;
}

} // namespace quorvel::test
