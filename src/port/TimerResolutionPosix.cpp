// POSIX timers already sleep to the requested millisecond: nothing to ask for.
#include "TimerResolution.h"

namespace quorvel {

bool BeginFineTimer() {
    return false;
}

void EndFineTimer() {}

int FineTimerRequests() {
    return 0;
}

} // namespace quorvel
