// A scripted serial device for tests of the link logic: the test keeps the shared TFakePort to
// feed input, inject failures and read back what the link did to the port.
#pragma once

#include "SerialDevice.h"

#include "ByteString.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {

struct TFakePort {
    std::mutex Lock;
    // The port's own settings before anyone opened it.
    TCommState State{28, 9600, 8, ParityNone, OneStopBit};
    TCommTimeouts Timeouts{1, 2, 3, 4, 5};
    std::vector<TCommState> StatesSet;
    std::vector<TCommTimeouts> TimeoutsSet;
    int Opens = 0;
    int Closes = 0;
    bool RefuseOpen = false;
    bool FailClose = false;
    bool Vanish = false;             // Wait reports a hang-up
    bool LeadsBack = true;           // a vanished device's name check answers this
    std::uint32_t Overstate = 0;     // BytesWaiting reports this many more than there are
    std::deque<ByteString> Incoming; // one entry per burst
    std::vector<std::uint32_t> ReadSizes;
    ByteString Written;
    int Waits = 0;
    std::vector<std::string> NamesOpened;        // every open asked for, refused ones too
    std::vector<std::thread::id> OpeningThreads; // the thread of each
    int OpenDelayMs = 0;                         // each open takes this long (a Bluetooth port)

    void Feed(const ByteString& bytes);
};

class TFakeSerialDevice : public ISerialDevice {
  public:
    explicit TFakeSerialDevice(std::shared_ptr<TFakePort> port) : Port(std::move(port)) {}

    bool GetState(TCommState& state) override;
    bool SetState(const TCommState& state) override;
    bool GetTimeouts(TCommTimeouts& timeouts) override;
    bool SetTimeouts(const TCommTimeouts& timeouts) override;
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return true; }
    bool BytesWaiting(std::uint32_t& count) override;
    bool Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) override;
    bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
    bool Close() override;
    TWaitResult Wait(TWakeEvent& wake) override;
    std::function<bool()> NameLeadsBackCheck() const override;

  private:
    std::shared_ptr<TFakePort> Port;
};

// An OpenComPort function that opens port (or refuses when RefuseOpen is set), recording what
// was asked for in it; callable from any thread.
std::function<std::unique_ptr<ISerialDevice>(const std::string&)>
OpensFakePort(std::shared_ptr<TFakePort> port);

} // namespace quorvel::test
