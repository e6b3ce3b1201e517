// The system timer at 1 ms while the link is open, so the worker's 1 ms pass and a 2 ms poll
// tick are not stretched to the platform's default (15.6 ms on Windows). Where a platform needs
// nothing, these do nothing. Main thread.
#pragma once

namespace quorvel {

// Asks for 1 ms timer resolution; false when the system refused (nothing to give back then).
bool BeginFineTimer();
// Gives back what one successful BeginFineTimer asked for.
void EndFineTimer();
// Successful BeginFineTimer calls not yet given back in this process (diagnostics, tests).
int FineTimerRequests();

} // namespace quorvel
