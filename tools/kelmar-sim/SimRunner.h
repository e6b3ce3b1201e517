// Runs the simulator: pty and port registration, the receive/answer loop, signals, the status
// file and the exit summary on stdout. Single-threaded; blocks until a signal or the duration.
#pragma once

#include "SimOptions.h"

namespace quorvel::sim {

// Process exit code: 0 after a normal end, 1 when the pty or the port link cannot be set up.
int RunSimulator(const SimOptions& options);

} // namespace quorvel::sim
