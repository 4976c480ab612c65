#pragma once

namespace ecflux::driver {

// One whole run in the working directory: the configuration, the data file,
// the block loop and the end-of-run table. Returns the process exit status:
// 0 when the input has been processed, 1 after a one-line message on
// standard error.
int run();

}  // namespace ecflux::driver
