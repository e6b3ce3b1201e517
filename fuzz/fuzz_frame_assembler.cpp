// Fuzzes kelmar-sim's frame assembler with whatever a console might send: chunks of any bytes
// with silences of any length between them, in each listen mode. Checks every frame it cuts and
// that no byte is lost or invented: after a final silence, fed = framed + discarded.
#include "FrameAssembler.h"
#include "Functionsmodbus.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace quorvel;
using namespace quorvel::sim;
using namespace std::chrono_literals;

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "frame assembler invariant broken: %s\n", what);
        std::abort();
    }
}

void CheckFrame(const AssembledFrame& frame, ListenMode listen) {
    const ByteString& b = frame.bytes;
    Require(!b.empty(), "empty frame");
    if (frame.mode == LineMode::Ascii) {
        Require(listen != ListenMode::Rtu, "ASCII frame while listening for RTU");
        Require(b.front() == ':', "ASCII frame starts with its colon");
        Require(b.size() >= 3 && b[b.size() - 2] == '\r' && b.back() == '\n',
                "ASCII frame ends in CR LF");
        Require(b.size() <= 513, "ASCII frame length");
        for (std::size_t k = 1; k < b.size(); ++k) {
            Require(b[k] != ':', "one colon per ASCII frame");
        }
    } else {
        Require(listen != ListenMode::Ascii, "RTU frame while listening for ASCII");
        Require(b.size() >= 4 && b.size() <= 256, "RTU frame length");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto listen = static_cast<ListenMode>(input.ConsumeIntegralInRange<int>(0, 2));
    const auto rtuGap = std::chrono::microseconds(input.ConsumeIntegralInRange<int>(1, 5000));
    const auto asciiGap = std::chrono::milliseconds(input.ConsumeIntegralInRange<int>(1, 2000));
    FrameAssembler assembler(listen, rtuGap, asciiGap);
    SteadyClock::time_point now{};
    std::uint64_t fed = 0;
    std::uint64_t framed = 0;
    const auto take = [&](const std::vector<AssembledFrame>& frames) {
        for (const AssembledFrame& frame : frames) {
            CheckFrame(frame, listen);
            framed += frame.bytes.size();
        }
    };
    while (input.remaining_bytes() > 0) {
        now += std::chrono::microseconds(input.ConsumeIntegralInRange<int>(0, 3000000));
        if (input.ConsumeBool()) {
            take(assembler.Expire(now));
        } else {
            const ByteString chunk =
                input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 300));
            fed += chunk.size();
            take(assembler.Feed(chunk, now));
        }
        Require(framed + assembler.DiscardedBytes() <= fed, "more bytes out than in");
    }
    // A silence longer than either gap ends whatever is pending.
    now += 1h;
    take(assembler.Expire(now));
    Require(!assembler.Deadline(), "nothing pending after a long silence");
    Require(framed + assembler.DiscardedBytes() == fed, "every byte framed or discarded");
    return 0;
}
