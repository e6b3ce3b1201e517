#include "FakeSerialDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace quorvel::test {

void TFakePort::Feed(const ByteString& bytes) {
    std::lock_guard<std::mutex> lock(Lock);
    Incoming.push_back(bytes);
}

bool TFakeSerialDevice::GetState(TCommState& state) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    state = Port->State;
    return true;
}

bool TFakeSerialDevice::SetState(const TCommState& state) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    Port->State = state;
    Port->StatesSet.push_back(state);
    return true;
}

bool TFakeSerialDevice::GetTimeouts(TCommTimeouts& timeouts) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    timeouts = Port->Timeouts;
    return true;
}

bool TFakeSerialDevice::SetTimeouts(const TCommTimeouts& timeouts) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    Port->Timeouts = timeouts;
    Port->TimeoutsSet.push_back(timeouts);
    return true;
}

bool TFakeSerialDevice::BytesWaiting(std::uint32_t& count) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    count = Port->Incoming.empty()
                ? 0
                : static_cast<std::uint32_t>(Port->Incoming.front().size()) + Port->Overstate;
    return true;
}

bool TFakeSerialDevice::Read(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    Port->ReadSizes.push_back(size);
    got = 0;
    if (Port->Incoming.empty()) {
        return true;
    }
    ByteString& burst = Port->Incoming.front();
    got = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(burst.size()));
    std::memcpy(buffer, burst.data(), got);
    burst.erase(burst.begin(), burst.begin() + got);
    if (burst.empty()) {
        Port->Incoming.pop_front();
    }
    return true;
}

bool TFakeSerialDevice::Write(const std::uint8_t* bytes, std::uint32_t count) {
    std::lock_guard<std::mutex> lock(Port->Lock);
    Port->Written.insert(Port->Written.end(), bytes, bytes + count);
    return !Port->Vanish;
}

bool TFakeSerialDevice::Close() {
    std::lock_guard<std::mutex> lock(Port->Lock);
    if (Port->FailClose) {
        return false;
    }
    ++Port->Closes;
    return true;
}

std::function<bool()> TFakeSerialDevice::NameLeadsBackCheck() const {
    return [port = Port] {
        std::lock_guard<std::mutex> lock(port->Lock);
        return port->LeadsBack;
    };
}

TWaitResult TFakeSerialDevice::Wait(TWakeEvent& wake) {
    {
        std::lock_guard<std::mutex> lock(Port->Lock);
        ++Port->Waits;
    }
    for (;;) {
        if (wake.WaitFor(1)) {
            return TWaitResult::Woken;
        }
        std::lock_guard<std::mutex> lock(Port->Lock);
        if (Port->Vanish) {
            return TWaitResult::Hangup;
        }
        if (!Port->Incoming.empty()) {
            return TWaitResult::Readable;
        }
    }
}

std::function<std::unique_ptr<ISerialDevice>(const std::string&)>
OpensFakePort(std::shared_ptr<TFakePort> port) {
    return [port](const std::string& name) -> std::unique_ptr<ISerialDevice> {
        int delayMs = 0;
        {
            std::lock_guard<std::mutex> lock(port->Lock);
            port->NamesOpened.push_back(name);
            port->OpeningThreads.push_back(std::this_thread::get_id());
            delayMs = port->OpenDelayMs;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        std::lock_guard<std::mutex> lock(port->Lock);
        if (port->RefuseOpen) {
            return nullptr;
        }
        ++port->Opens;
        return std::make_unique<TFakeSerialDevice>(port);
    };
}

} // namespace quorvel::test
