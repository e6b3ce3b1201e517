// Request and reply frames for the simulator tests, written out by hand from the Modbus
// serial-line rules (worked examples of the console's framing), not produced by the code under
// test.
#pragma once

#include "ByteString.h"

#include <string_view>

namespace quorvel::sim::testframes {

inline ByteString Ascii(std::string_view body) {
    ByteString frame = BytesOf(body);
    frame.push_back('\r');
    frame.push_back('\n');
    return frame;
}

// Read 0xF098 at address 1.
inline const ByteString AsciiReadFrequency = Ascii(":0103F098000173");
inline const ByteString RtuReadFrequency{0x01, 0x03, 0xF0, 0x98, 0x00, 0x01, 0x36, 0xE5};
// Write 0x1388 to 0xF510 at address 1.
inline const ByteString AsciiWriteReference = Ascii(":0106F510138859");
inline const ByteString RtuWriteReference{0x01, 0x06, 0xF5, 0x10, 0x13, 0x88, 0xB6, 0x95};
// Read 0xF0A0 at address 16.
inline const ByteString AsciiReadCurrentAt16 = Ascii(":1003F0A000015C");
inline const ByteString RtuReadCurrentAt16{0x10, 0x03, 0xF0, 0xA0, 0x00, 0x01, 0xB4, 0x69};
// Read 0x0000 at address 1 (CRC 0x0A84).
inline const ByteString RtuReadZero{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};

} // namespace quorvel::sim::testframes
