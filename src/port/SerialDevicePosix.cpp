#include "SerialDevicePosix.h"

#include "Termios2.h"
#include "TermiosSettings.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace quorvel {

namespace {

int PollRetrying(pollfd* entries, nfds_t count, int timeoutMs) {
    int ready = 0;
    do {
        ready = ::poll(entries, count, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

// Asks the UART driver to hand bytes over at once instead of batching them; ttys without a
// UART (ptys, USB CDC) refuse, which is fine. true when this call set the flag.
bool RequestLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0) {
        return false;
    }
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

// The flag is a property of the port, not of our descriptor: it outlives the close.
void GiveBackLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags &= ~ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
}

bool ApplySpeed(termios& settings, std::uint32_t baud) {
    const std::optional<speed_t> constant = BaudConstant(baud);
    if (!constant) {
        return false;
    }
    return ::cfsetispeed(&settings, *constant) == 0 && ::cfsetospeed(&settings, *constant) == 0;
}

} // namespace

TPosixSerialDevice::TPosixSerialDevice(int fd, TPortOrigin origin)
    : Fd(fd), Origin(std::move(origin)) {
    HaveOriginal = ::tcgetattr(Fd, &Original) == 0;
    ::ioctl(Fd, TIOCEXCL); // no second opener, as the serial device is held on Windows
    SetLowLatency = RequestLowLatency(Fd);
    // Bytes left in the driver from before this open answer no request of ours.
    ::tcflush(Fd, TCIFLUSH);
}

TPosixSerialDevice::~TPosixSerialDevice() {
    if (Fd >= 0) {
        Close();
    }
}

bool TPosixSerialDevice::GetState(TCommState& state) {
    termios current{};
    if (::tcgetattr(Fd, &current) != 0) {
        return false;
    }
    state = ReadFraming(current);
    std::uint32_t baud = 0;
    if (GetLineBaud(Fd, baud)) {
        state.BaudRate = baud;
    } else if (auto rate = BaudOfConstant(::cfgetospeed(&current))) {
        state.BaudRate = *rate;
    }
    return true;
}

// In steps, so that a driver refusing the framing (ptys refuse parity and 7 bits) still leaves
// the port raw at the right speed. Baud rate 0 keeps the current speed rather than hanging up.
bool TPosixSerialDevice::SetState(const TCommState& state) {
    termios settings{};
    if (::tcgetattr(Fd, &settings) != 0) {
        return false;
    }
    MakeRaw(settings);
    const bool standardSpeed = state.BaudRate == 0 || ApplySpeed(settings, state.BaudRate);
    if (::tcsetattr(Fd, TCSANOW, &settings) != 0) {
        return false;
    }
    bool complete = true;
    if (!standardSpeed) {
        complete = SetCustomBaud(Fd, state.BaudRate) && ::tcgetattr(Fd, &settings) == 0;
    }
    ApplyFraming(settings, state);
    return ::tcsetattr(Fd, TCSANOW, &settings) == 0 && complete;
}

// The timeouts bound writes only: reads never block, the worker waits on the descriptor instead.
bool TPosixSerialDevice::GetTimeouts(TCommTimeouts& timeouts) {
    if (!HaveTimeouts) {
        return false; // a tty has no timeouts of its own to give back
    }
    timeouts = Timeouts;
    return true;
}

bool TPosixSerialDevice::SetTimeouts(const TCommTimeouts& timeouts) {
    Timeouts = timeouts;
    HaveTimeouts = true;
    return true;
}

bool TPosixSerialDevice::BytesWaiting(std::uint32_t& count) {
    count = 0;
    int waiting = 0;
    if (::ioctl(Fd, FIONREAD, &waiting) != 0 || waiting < 0) {
        return false;
    }
    count = static_cast<std::uint32_t>(waiting);
    return true;
}

bool TPosixSerialDevice::Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
    got = 0;
    const ssize_t n = ::read(Fd, buffer, size);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    got = static_cast<std::uint32_t>(n);
    return true;
}

bool TPosixSerialDevice::WaitWritable(int timeoutMs) {
    pollfd entry{Fd, POLLOUT, 0};
    return PollRetrying(&entry, 1, timeoutMs) > 0 && (entry.revents & POLLOUT) != 0;
}

// Writes all bytes within the write timeout (constant + multiplier per byte; none set: no limit).
bool TPosixSerialDevice::Write(const std::uint8_t* bytes, std::uint32_t count) {
    using Clock = std::chrono::steady_clock;
    const auto limit =
        std::chrono::milliseconds(Timeouts.WriteTotalTimeoutConstant +
                                  std::uint64_t{Timeouts.WriteTotalTimeoutMultiplier} * count);
    const bool bounded = HaveTimeouts && limit.count() > 0;
    const auto deadline = Clock::now() + limit;
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(Fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false; // EIO once the port is gone
        }
        int waitMs = -1;
        if (bounded) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return false;
            }
            waitMs = static_cast<int>(left.count());
        }
        if (!WaitWritable(waitMs)) {
            return false;
        }
    }
    return true;
}

void TPosixSerialDevice::DiscardOutput() {
    if (Fd >= 0) {
        ::tcflush(Fd, TCOFLUSH);
    }
}

std::function<bool()> TPosixSerialDevice::NameLeadsBackCheck() const {
    return [origin = Origin] { return MayLeadBack(origin); };
}

// Output that cannot drain (a far end that does not read, CTS held low under hardware flow
// control) is discarded first: otherwise the kernel's close would wait for it, up to 30 s.
bool TPosixSerialDevice::Close() {
    if (Fd < 0) {
        return true;
    }
    ::tcflush(Fd, TCOFLUSH);
    if (HaveOriginal) {
        ::tcsetattr(Fd, TCSANOW, &Original);
    }
    if (SetLowLatency) {
        GiveBackLowLatency(Fd);
    }
    ::tcflush(Fd, TCOFLUSH);
    ::ioctl(Fd, TIOCNXCL);
    ::flock(Fd, LOCK_UN);
    ::close(Fd); // the descriptor is released even when close reports an error
    Fd = -1;
    return true;
}

TWaitResult TPosixSerialDevice::Wait(TWakeEvent& wake) {
    pollfd entries[2] = {{Fd, POLLIN, 0}, {static_cast<int>(wake.Native()), POLLIN, 0}};
    for (;;) {
        if (PollRetrying(entries, 2, -1) < 0) {
            return TWaitResult::Hangup; // the descriptor itself is unusable
        }
        if ((entries[1].revents & POLLIN) != 0) {
            return TWaitResult::Woken;
        }
        const short port = entries[0].revents;
        std::uint32_t waiting = 0;
        if ((port & POLLIN) != 0 && BytesWaiting(waiting) && waiting > 0) {
            return TWaitResult::Readable;
        }
        if ((port & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return TWaitResult::Hangup;
        }
        if ((port & POLLIN) != 0) {
            return TWaitResult::Readable; // let the read pass find out what it is
        }
    }
}

} // namespace quorvel
