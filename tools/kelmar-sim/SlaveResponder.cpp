#include "SlaveResponder.h"

#include "DriveRegisters.h"

namespace quorvel::sim {

namespace {

constexpr std::uint16_t MaxReadQuantity = 125;

std::uint16_t WordAt(ByteView data, std::size_t offset) {
    return static_cast<std::uint16_t>(data[offset] << 8 | data[offset + 1]);
}

SlaveAnswer ReadHolding(const DriveModel& drive, ByteView data) {
    if (data.size() != 4) {
        return ExceptionAnswer(FunctionReadHolding, IllegalDataValue);
    }
    const std::uint16_t start = WordAt(data, 0);
    const std::uint16_t quantity = WordAt(data, 2);
    if (quantity == 0 || quantity > MaxReadQuantity) {
        return ExceptionAnswer(FunctionReadHolding, IllegalDataValue);
    }
    SlaveAnswer answer{AnswerKind::ReadReply, FunctionReadHolding, {}};
    answer.data.push_back(static_cast<std::uint8_t>(quantity * 2));
    for (std::uint32_t reg = start; reg < std::uint32_t{start} + quantity; ++reg) {
        const auto word =
            reg <= 0xFFFF ? drive.Read(static_cast<std::uint16_t>(reg)) : std::nullopt;
        if (!word) {
            return ExceptionAnswer(FunctionReadHolding, IllegalDataAddress);
        }
        answer.data.push_back(static_cast<std::uint8_t>(*word >> 8));
        answer.data.push_back(static_cast<std::uint8_t>(*word & 0xFF));
    }
    return answer;
}

SlaveAnswer WriteSingle(DriveModel& drive, ByteView data) {
    if (data.size() != 4) {
        return ExceptionAnswer(FunctionWriteSingle, IllegalDataValue);
    }
    if (drive.Write(WordAt(data, 0), WordAt(data, 2)) != WriteOutcome::Stored) {
        return ExceptionAnswer(FunctionWriteSingle, IllegalDataAddress);
    }
    return {AnswerKind::WriteEcho, FunctionWriteSingle, {}};
}

} // namespace

SlaveAnswer ExceptionAnswer(std::uint8_t function, ExceptionCode code) {
    return {AnswerKind::Exception, static_cast<std::uint8_t>(function | 0x80), {code}};
}

SlaveAnswer Respond(DriveModel& drive, std::uint8_t function, ByteView data) {
    switch (function) {
    case FunctionReadHolding:
        return ReadHolding(drive, data);
    case FunctionWriteSingle:
        return WriteSingle(drive, data);
    default:
        return ExceptionAnswer(function, IllegalFunction);
    }
}

} // namespace quorvel::sim
