#pragma once

// A run asked to stop (Ctrl-C, a scheduler's SIGTERM, a closed terminal's
// SIGHUP) stops at a record boundary and finishes its files with the blocks
// it has completed.

#include <csignal>

namespace ecflux::driver {

// The signal that asked the run to stop; 0 while none has.
const volatile std::sig_atomic_t* stop_signal();

// Catches SIGINT, SIGTERM and SIGHUP: the first sets stop_signal(); a second
// one, while the run is finishing, ends the process at once.
void catch_stop_signals();

}  // namespace ecflux::driver
