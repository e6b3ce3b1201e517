#include "LinkFixture.h"

namespace quorvel::win32test {

void TLinkFixture::SetUp() {
    const std::optional<std::string> port = ComPortUnderTest();
    if (!port) {
        GTEST_SKIP() << "QUORVEL_WINE_COM is not set: run through scripts/wine-tests.sh";
    }
    ComPort = *port;
    ASSERT_TRUE(DiscardPendingBytes(ComPort)) << ComPort << " cannot be opened";
    Settings.Port = ComPort;
    Settings.Address = SimAddress;
    Settings.Mode = ModeRTU;
    Settings.Baudrate = 19200;
}

std::unique_ptr<TPortThread> TLinkFixture::MakeLink(bool withSpy, TPortEnvironment environment) {
    if (withSpy) {
        environment.OpenComPort =
            [this](const std::string& name) -> std::unique_ptr<ISerialDevice> {
            {
                std::lock_guard<std::mutex> lock(Spy.Lock);
                Spy.Names.push_back(name);
            }
            std::unique_ptr<ISerialDevice> real = OpenSerialDevice(name, TPortRoots{});
            if (!real) {
                return nullptr;
            }
            if (PrimeTimeouts) {
                real->SetTimeouts(*PrimeTimeouts);
            }
            return std::make_unique<TSpySerialDevice>(std::move(real), Spy);
        };
    }
    auto link = std::make_unique<TPortThread>(Settings, Pump.Calls(), std::move(environment));
    link->OnReceive = [this](ByteString chunk) {
        if (std::this_thread::get_id() != Pump.MainThreadId()) {
            ReceivedOffMainThread = true;
        }
        ChunkSizes.push_back(chunk.size());
        Received.insert(Received.end(), chunk.begin(), chunk.end());
    };
    return link;
}

FrameCheck TLinkFixture::ReadExchange(TPortThread& link, std::uint16_t reg) {
    ClearReceived();
    const ByteString request = BuildReadRequest(Settings, reg);
    if (!link.WriteFrame(request.data(), static_cast<std::uint16_t>(request.size()))) {
        ADD_FAILURE() << "WriteFrame failed on " << Settings.Port;
        return Incomplete;
    }
    return AwaitReply(request);
}

FrameCheck TLinkFixture::AwaitReply(const ByteString& request) {
    FrameCheck verdict = Incomplete;
    Pump.PumpUntil(
        [&] {
            if (Received.size() < 5) {
                return false;
            }
            verdict = CheckReply(Settings, Received, request, Words);
            return verdict != Incomplete;
        },
        ReplyLimit);
    return verdict;
}

void TLinkFixture::ClearReceived() {
    Received.clear();
    ChunkSizes.clear();
}

} // namespace quorvel::win32test
