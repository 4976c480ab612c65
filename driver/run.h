#pragma once

#include "input/command_line.h"

namespace ecflux::driver {

// One whole run in the run folder of the command line (the working directory
// when it names none), or with --check the check of one: the configuration,
// the data file, the block loop and the end-of-run table. Returns the process
// exit status: 0 when the input has been processed, 1 after a one-line
// message on standard error, 128 + the signal's number after an interruption.
int run(const input::CommandLine& line);

}  // namespace ecflux::driver
