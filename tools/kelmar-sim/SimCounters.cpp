#include "SimCounters.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace quorvel::sim {

namespace {

void Field(std::string& out, std::string_view name, std::uint64_t value) {
    if (out.back() != '{') {
        out += ',';
    }
    out += '"';
    out += name;
    out += "\":";
    out += std::to_string(value);
}

std::string CountsObject(const SimCounters& c) {
    std::string out = "{";
    Field(out, "requests", c.requests);
    Field(out, "requests_bad_checksum", c.requestsBadChecksum);
    Field(out, "requests_other_address", c.requestsOtherAddress);
    Field(out, "replies_good", c.repliesGood);
    Field(out, "replies_exception", c.repliesException);
    Field(out, "replies_corrupted", c.repliesCorrupted);
    Field(out, "replies_dropped", c.repliesDropped);
    Field(out, "garbage_bursts", c.garbageBursts);
    Field(out, "exceptions_injected", c.exceptionsInjected);
    Field(out, "discarded_bytes", c.discardedBytes);
    return out;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string SummaryJson(const SimCounters& counters, std::uint64_t seed) {
    std::string out = CountsObject(counters);
    Field(out, "seed", seed);
    return out + "}";
}

std::string StatusJson(const DriveRegisters& registers, const SimCounters& counters) {
    std::string words = "{";
    Field(words, "F098", registers.outputFrequency);
    Field(words, "F0A0", registers.motorCurrent);
    Field(words, "F510", registers.controlReference);
    Field(words, "F508", registers.virtualInputs);
    return "{\"registers\":" + words + "},\"counts\":" + CountsObject(counters) + "}}";
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = WriteAll(fd, text + "\n");
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace quorvel::sim
