// The one operation the polling engine needs from the serial link: write a whole frame.
// Implemented by TPortThread (and fakes in tests); called on the main thread only.
#pragma once

#include <cstdint>

namespace quorvel {

class IFrameWriter {
  public:
    virtual ~IFrameWriter() = default;
    // Writes count bytes; false when the link is closed or the write fails.
    virtual bool WriteFrame(const std::uint8_t* bytes, std::uint16_t count) = 0;
};

} // namespace quorvel
