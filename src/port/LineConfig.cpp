#include "LineConfig.h"

namespace quorvel {

namespace {

constexpr std::uint64_t BitsPerCharacter = 11;

} // namespace

void TLineConfig::ApplyAtOpen(ISerialDevice& device) {
    device.GetState(ActiveState);
    ActiveState.DCBlength = StoredState.DCBlength;
    ActiveState.BaudRate = StoredState.BaudRate;
    ActiveState.ByteSize = StoredState.ByteSize;
    ActiveState.Parity = StoredState.Parity;
    ActiveState.StopBits = StoredState.StopBits;
    device.GetState(StoredState);
    device.SetState(ActiveState);
    ActiveTimeouts = StoredTimeouts;
    device.GetTimeouts(StoredTimeouts);
    device.SetTimeouts(ActiveTimeouts);
    device.SetupQueues(InQueueKB * 1024, OutQueueKB * 1024);
    HoldsPortState = true;
}

bool TLineConfig::GiveBackAndClose(ISerialDevice& device) {
    device.SetState(StoredState);
    device.SetTimeouts(StoredTimeouts);
    if (!device.Close()) {
        device.SetState(ActiveState);
        device.SetTimeouts(ActiveTimeouts);
        return false;
    }
    ForgetPortState();
    return true;
}

void TLineConfig::ForgetPortState() {
    if (HoldsPortState) {
        StoredState = ActiveState;
        StoredTimeouts = ActiveTimeouts;
        HoldsPortState = false;
    }
}

std::uint32_t TLineConfig::BaudInForce() const {
    return HoldsPortState ? ActiveState.BaudRate : StoredState.BaudRate;
}

std::chrono::microseconds LineTime(std::uint32_t count, std::uint32_t baud) {
    if (baud == 0) {
        return std::chrono::microseconds(0);
    }
    return std::chrono::microseconds(std::uint64_t{count} * BitsPerCharacter * 1000000 / baud);
}

} // namespace quorvel
