#include <csignal>

#include "driver/run.h"

int main() {
  // A closed standard output must surface as a write failure that keeps the
  // files written so far, not as a silent kill of the process.
  std::signal(SIGPIPE, SIG_IGN);
  return ecflux::driver::run();
}
