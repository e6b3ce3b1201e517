// The port worker runs above the GUI so a received chunk is picked up promptly.
#include "ThreadPriority.h"

#include <windows.h>

namespace quorvel {

void RaiseCurrentThreadPriority() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

} // namespace quorvel
