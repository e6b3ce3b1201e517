// The console's engine wired to a real TPortThread on the test's main loop: what the main
// window does at creation and at "Nyit", without Qt. Everything runs on the loop; other
// threads reach it through Run().
#pragma once

#include "EngineFakes.h"
#include "MainLoop.h"
#include "Portthread.h"
#include "Wait4msg.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quorvel::testing {

// Polls condition every few milliseconds until it holds (true) or timeout passes (false).
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

class TEngineStation {
  public:
    explicit TEngineStation(TMainLoop& loop);
    ~TEngineStation(); // closes the link and stops its worker on the loop

    // Configures and opens the port like "Nyit" and arms the poll cycle; false when it failed.
    bool Open(const std::string& port, std::uint8_t mode, std::uint32_t baud, std::uint8_t address);
    void StartPolling(std::chrono::nanoseconds period);
    void StopPolling();

    // Runs routine on the loop with the engine and the view.
    template <typename Routine> auto Run(Routine routine) {
        using Result = decltype(routine(*Engine, View));
        if constexpr (std::is_void_v<Result>) {
            Loop.Invoke([&] { routine(*Engine, View); });
        } else {
            Result result{};
            Loop.Invoke([&] { result = routine(*Engine, View); });
            return result;
        }
    }
    // Polls check (on the loop) every few milliseconds until it holds or timeout passes.
    bool WaitFor(const std::function<bool(TPollEngine&, FakeView&)>& check,
                 std::chrono::milliseconds timeout);

    // Microseconds from each frame written to the reply that completed its exchange.
    std::vector<double> RoundTrips() {
        return Run([this](TPollEngine&, FakeView&) { return RoundTripsUs; });
    }

    TMainLoop& Loop;

  private:
    // Passes frames to the link and notes when the last one went out.
    class TTimedWriter : public IFrameWriter {
      public:
        bool WriteFrame(const std::uint8_t* bytes, std::uint16_t count) override {
            LastWrite = std::chrono::steady_clock::now();
            return Link->WriteFrame(bytes, count);
        }
        TPortThread* Link = nullptr;
        std::chrono::steady_clock::time_point LastWrite;
    };

    void Receive(ByteString chunk);

    TSettings Settings;
    FakeView View;
    std::unique_ptr<TPortThread> Port;
    TTimedWriter Writer;
    std::unique_ptr<TPollEngine> Engine;
    std::vector<double> RoundTripsUs;
};

} // namespace quorvel::testing
