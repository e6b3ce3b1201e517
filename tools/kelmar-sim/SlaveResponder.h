// What the drive answers to one intact request addressed to it: a read reply, the echo of a
// write, or an exception. Acts on the DriveModel it is given; single-threaded.
#pragma once

#include "DriveModel.h"

#include "ByteString.h"

#include <cstdint>

namespace quorvel::sim {

enum ExceptionCode : std::uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    DeviceFailure = 0x04,
};

enum class AnswerKind : std::uint8_t { ReadReply, WriteEcho, Exception };

struct SlaveAnswer {
    AnswerKind kind = AnswerKind::Exception;
    std::uint8_t function = 0; // with 0x80 set for an exception
    ByteString data;           // read: byte count and words; exception: the code; echo: empty
};

// Function 3 reads N consecutive served registers (1 ≤ N ≤ 125); function 6 writes the
// control reference or the virtual inputs; anything else is refused with an exception.
SlaveAnswer Respond(DriveModel& drive, std::uint8_t function, ByteView data);

SlaveAnswer ExceptionAnswer(std::uint8_t function, ExceptionCode code);

} // namespace quorvel::sim
