#include "EngineStation.h"

#include <thread>

namespace quorvel::testing {

TEngineStation::TEngineStation(TMainLoop& loop) : Loop(loop) {
    Loop.Invoke([this] {
        Port = std::make_unique<TPortThread>(Settings, Loop.MainThreadCall());
        Writer.Link = Port.get();
        Engine = std::make_unique<TPollEngine>(Settings, View, Writer);
        Port->OnReceive = [this](ByteString chunk) { Receive(std::move(chunk)); };
    });
}

TEngineStation::~TEngineStation() {
    Loop.StopTicks();
    Loop.Invoke([this] {
        Port.reset(); // closes, then joins the worker while serving its pending calls
        Engine.reset();
    });
}

void TEngineStation::Receive(ByteString chunk) {
    const bool awaiting = Engine->PollPhase == AwaitingReply;
    Engine->HandleReply(std::move(chunk));
    if (awaiting && Engine->PollPhase == ReadyToSend) {
        const auto took = std::chrono::steady_clock::now() - Writer.LastWrite;
        RoundTripsUs.push_back(std::chrono::duration<double, std::micro>(took).count());
    }
}

bool TEngineStation::Open(const std::string& port, std::uint8_t mode, std::uint32_t baud,
                          std::uint8_t address) {
    bool open = false;
    Loop.Invoke([&] {
        Settings.Port = port;
        Settings.Mode = mode;
        Settings.Baudrate = baud;
        Settings.Address = address;
        open = Port->Configure(mode, static_cast<std::int32_t>(baud)) && Port->IsOpen();
        Engine->ArmPollCycle();
    });
    return open;
}

void TEngineStation::StartPolling(std::chrono::nanoseconds period) {
    Loop.StartTicks(period, [this] { Engine->TimerTimer(); });
}

void TEngineStation::StopPolling() {
    Loop.StopTicks();
}

bool TEngineStation::WaitFor(const std::function<bool(TPollEngine&, FakeView&)>& check,
                             std::chrono::milliseconds timeout) {
    return Eventually(
        [&] {
            bool met = false;
            Loop.Invoke([&] { met = check(*Engine, View); });
            return met;
        },
        timeout);
}

bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace quorvel::testing
