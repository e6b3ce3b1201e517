// Raises the calling thread's scheduling priority where the platform allows it; best effort.
#pragma once

namespace quorvel {

void RaiseCurrentThreadPriority();

} // namespace quorvel
