#include "SimSession.h"

#include "FrameCodec.h"
#include "SlaveResponder.h"

namespace quorvel::sim {

SimSession::SimSession(std::uint8_t address, const DriveModel& drive, const FaultInjector& faults)
    : address_(address), drive_(drive), faults_(faults) {}

void SimSession::AdvanceTo(double elapsedSeconds) {
    if (elapsedSeconds > elapsed_) {
        drive_.Advance(elapsedSeconds - elapsed_);
        elapsed_ = elapsedSeconds;
    }
}

HandledFrame SimSession::Handle(const AssembledFrame& frame, double elapsedSeconds) {
    AdvanceTo(elapsedSeconds);
    ++counters_.requests;
    const auto request = DecodeFrame(frame.mode, frame.bytes);
    if (!request) {
        ++counters_.requestsBadChecksum;
        return {std::nullopt, "bad-checksum"};
    }
    if (request->address != address_) {
        ++counters_.requestsOtherAddress;
        return {std::nullopt, "other-address"};
    }
    return Answer(frame, request->function, request->data);
}

HandledFrame SimSession::Answer(const AssembledFrame& frame, std::uint8_t function, ByteView data) {
    const FaultPlan plan = faults_.Next(frame.mode, address_);
    // A failing drive does not carry the request out; a lost or damaged reply does not undo it.
    const SlaveAnswer answer =
        plan.exception ? ExceptionAnswer(function, DeviceFailure) : Respond(drive_, function, data);
    counters_.exceptionsInjected += plan.exception ? 1 : 0;
    if (plan.drop) {
        ++counters_.repliesDropped;
        return {std::nullopt, "dropped"};
    }
    ByteString reply = answer.kind == AnswerKind::WriteEcho
                           ? frame.bytes
                           : EncodeFrame(frame.mode, address_, answer.function, answer.data);
    std::string_view verdict = answer.kind == AnswerKind::Exception ? "exception" : "good";
    if (plan.corrupt) {
        CorruptChecksum(frame.mode, reply);
        verdict = "corrupted";
        ++counters_.repliesCorrupted;
    } else if (answer.kind == AnswerKind::Exception) {
        ++counters_.repliesException;
    } else {
        ++counters_.repliesGood;
    }
    if (!plan.garbage.empty()) {
        ++counters_.garbageBursts;
        reply.insert(reply.begin(), plan.garbage.begin(), plan.garbage.end());
    }
    return {std::move(reply), verdict, answer.kind == AnswerKind::WriteEcho};
}

} // namespace quorvel::sim
