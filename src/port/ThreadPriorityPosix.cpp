// Raising a thread above normal needs privileges here; the worker waits on its port instead of
// polling, so normal priority keeps its latency low.
#include "ThreadPriority.h"

namespace quorvel {

void RaiseCurrentThreadPriority() {}

} // namespace quorvel
