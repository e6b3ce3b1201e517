// Fuzzes the reply check in both modes. Input layout: a control byte, a register and a value
// (big-endian) for the write request the reply is judged against, then the received bytes.
// Control byte: bit 0 RTU, bit 1 "last sent is the received bytes" (echo path), bits 2-6
// address, bit 7 an out-of-range mode (checked as ASCII).
#include "Functionsmodbus.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

constexpr std::size_t HeaderSize = 5;

quorvel::TSettings SettingsOf(std::uint8_t control) {
    quorvel::TSettings settings;
    settings.Mode = (control & 0x80) ? 0 : ((control & 1) ? quorvel::ModeRTU : quorvel::ModeASCII);
    settings.Address = static_cast<std::uint8_t>((control >> 2) & 0x1F);
    return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < HeaderSize) {
        return 0;
    }
    const quorvel::TSettings settings = SettingsOf(data[0]);
    // Exactly sized heap copies, so a read past either end is caught.
    const quorvel::ByteString received(data + HeaderSize, data + size);
    const auto reg = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
    const auto value = static_cast<std::uint16_t>(data[3] << 8 | data[4]);
    const quorvel::ByteString lastSent =
        (data[0] & 2) ? received : quorvel::BuildWriteRequest(settings, reg, value);
    auto words = std::make_unique<quorvel::ResponseWordArray>();
    const quorvel::FrameCheck verdict = quorvel::CheckReply(settings, received, lastSent, *words);
    if (verdict < quorvel::Good || verdict > quorvel::Incomplete) {
        __builtin_trap();
    }
    return 0;
}
