#pragma once

// ecflux --check: the configuration and the whole data file read as a run
// would read them, and a report for a person on standard output. No file is
// written; the folder's lock is taken shared, so that a run cannot start
// while the check reads, and a check never reads what a run is writing.

#include "input/command_line.h"

namespace ecflux::driver {

// Prints the configuration as read (each field's line, columns, text and
// value, with what a run would warn about flagged), the derived sizes, what
// the data hold, every warning a run would give and what a run that did not
// complete left behind. Returns 0 when a run with the same options would
// complete; otherwise 1, with the reason on standard error: every refusal the
// run would make before it writes (the guard, the lock, outputs it could not
// write), staged files left behind, no complete block, and with --strict any
// warning. Unusable inputs give a run's own refusals and failures.
int check_run(const input::CommandLine& line);

}  // namespace ecflux::driver
