#pragma once

// ecflux --check: the configuration and the whole data file read as a run
// would read them, and a report for a person on standard output. No file is
// written and no lock is taken.

namespace ecflux::driver {

// Prints the configuration as read (each field's line, columns, text and
// value, with text to the right of a number flagged), the derived sizes, what
// the data hold and every warning a run would give. Returns 0 when a run
// would write at least one block; otherwise 1, with the reason on standard
// error. Unusable inputs give a run's own refusals and failures.
int check_run();

}  // namespace ecflux::driver
