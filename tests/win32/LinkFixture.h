// Shared set-up of the Wine tests: a TPortThread on the lane's COM port (through a spy around
// the real Win32 device when asked), a pump standing in for the main thread, and the bytes that
// OnReceive collected. Everything here runs on the test thread except what the pump runs for it.
#pragma once

#include "Functionsmodbus.h"
#include "MainThreadPump.h"
#include "Portthread.h"
#include "SpySerialDevice.h"
#include "WineLane.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::win32test {

// Generous: a loaded machine running Wine may be slow, and a pass never waits for this long.
inline constexpr std::chrono::milliseconds ReplyLimit{15000};

// Slave address the lane's simulators answer to.
inline constexpr std::uint8_t SimAddress = 1;

// Length of the reply to a one-register read: RTU address, function, count, two data bytes and
// the CRC; ASCII the same five bytes and the LRC as hex digits between ':' and CR LF.
inline std::size_t ReadReplyLength(std::uint8_t mode) {
    return mode == ModeRTU ? 7 : 1 + 2 * 6 + 2;
}

class TLinkFixture : public ::testing::Test {
  protected:
    void SetUp() override;

    // A link on Settings (set Settings.Port first); withSpy puts TSpySerialDevice around the
    // real COM device, primed with PrimeTimeouts when set.
    std::unique_ptr<TPortThread> MakeLink(bool withSpy, TPortEnvironment environment = {});

    // Sends a one-register read of reg and pumps until the gathered reply is judged; returns the
    // verdict (Incomplete when nothing complete came within ReplyLimit).
    FrameCheck ReadExchange(TPortThread& link, std::uint16_t reg);

    // Pumps until the bytes gathered since the last clear form a judged reply to request, or
    // ReplyLimit passes.
    FrameCheck AwaitReply(const ByteString& request);

    void ClearReceived();

    std::string ComPort;
    TSettings Settings;
    TMainThreadPump Pump;
    TSpyRecord Spy;
    std::optional<TCommTimeouts> PrimeTimeouts;
    ByteString Received;
    std::vector<std::size_t> ChunkSizes;
    bool ReceivedOffMainThread = false;
    ResponseWordArray Words{};
};

} // namespace quorvel::win32test
