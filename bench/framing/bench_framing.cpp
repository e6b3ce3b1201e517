// Throughput of request framing and reply checking in both transmission modes; the
// items_per_second counter is frames built or replies checked per second.
#include "Functionsmodbus.h"

#include <benchmark/benchmark.h>

namespace {

using quorvel::ByteString;

quorvel::TSettings SettingsFor(std::uint8_t mode) {
    quorvel::TSettings settings;
    settings.Mode = mode;
    settings.Address = 1;
    return settings;
}

void BuildRead(benchmark::State& state) {
    const quorvel::TSettings settings = SettingsFor(static_cast<std::uint8_t>(state.range(0)));
    std::uint16_t reg = 0xF000;
    for (auto _ : state) {
        ByteString frame = quorvel::BuildReadRequest(settings, reg++);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(settings.Mode == quorvel::ModeRTU ? "RTU" : "ASCII");
}

void BuildWrite(benchmark::State& state) {
    const quorvel::TSettings settings = SettingsFor(static_cast<std::uint8_t>(state.range(0)));
    std::uint16_t value = 0;
    for (auto _ : state) {
        ByteString frame = quorvel::BuildWriteRequest(settings, 0xF510, value++);
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(settings.Mode == quorvel::ModeRTU ? "RTU" : "ASCII");
}

// A good read reply carrying one word, as the drive sends it.
ByteString ReadReply(std::uint8_t mode) {
    if (mode == quorvel::ModeRTU) {
        return {0x01, 0x03, 0x02, 0x13, 0x88, 0xB5, 0x12};
    }
    return quorvel::BytesOf(":01030213885F\r\n");
}

void CheckReadReply(benchmark::State& state) {
    const auto mode = static_cast<std::uint8_t>(state.range(0));
    const quorvel::TSettings settings = SettingsFor(mode);
    const ByteString reply = ReadReply(mode);
    const ByteString sent = quorvel::BuildReadRequest(settings, 0xF0A0);
    quorvel::ResponseWordArray words{};
    for (auto _ : state) {
        auto verdict = quorvel::CheckReply(settings, reply, sent, words);
        benchmark::DoNotOptimize(verdict);
        benchmark::ClobberMemory();
    }
    if (quorvel::CheckReply(settings, reply, sent, words) != quorvel::Good) {
        state.SkipWithError("reply not judged good");
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(mode == quorvel::ModeRTU ? "RTU" : "ASCII");
}

void CheckWriteEcho(benchmark::State& state) {
    const quorvel::TSettings settings = SettingsFor(static_cast<std::uint8_t>(state.range(0)));
    const ByteString sent = quorvel::BuildWriteRequest(settings, 0xF510, 0x1388);
    const ByteString echo = sent;
    quorvel::ResponseWordArray words{};
    for (auto _ : state) {
        auto verdict = quorvel::CheckReply(settings, echo, sent, words);
        benchmark::DoNotOptimize(verdict);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(settings.Mode == quorvel::ModeRTU ? "RTU" : "ASCII");
}

} // namespace

BENCHMARK(BuildRead)->Arg(quorvel::ModeASCII)->Arg(quorvel::ModeRTU);
BENCHMARK(BuildWrite)->Arg(quorvel::ModeASCII)->Arg(quorvel::ModeRTU);
BENCHMARK(CheckReadReply)->Arg(quorvel::ModeASCII)->Arg(quorvel::ModeRTU);
BENCHMARK(CheckWriteEcho)->Arg(quorvel::ModeASCII)->Arg(quorvel::ModeRTU);

BENCHMARK_MAIN();
