// Wake-up signal over an eventfd: readable while signalled, so poll() can wait on it beside a port.
#include "WakeEvent.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace quorvel {

// Without it a close could not interrupt the worker's wait; better to fail loudly at construction.
TWakeEvent::TWakeEvent() : Handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (Handle < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

TWakeEvent::~TWakeEvent() {
    if (Handle >= 0) {
        ::close(static_cast<int>(Handle));
    }
}

void TWakeEvent::Signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(Handle), &one, sizeof one);
}

void TWakeEvent::Clear() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(static_cast<int>(Handle), &value, sizeof value);
}

bool TWakeEvent::WaitFor(int timeoutMs) {
    pollfd entry{static_cast<int>(Handle), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, timeoutMs < 0 ? -1 : timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

} // namespace quorvel
