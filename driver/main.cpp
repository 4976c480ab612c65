#include "driver/run.h"
#include "textio/standard_streams.h"

int main() {
  ecflux::textio::occupy_closed_standard_streams();
  ecflux::textio::ignore_signals_of_failed_writes();
  return ecflux::driver::run();
}
