#include "driver/interruption.h"

namespace ecflux::driver {
namespace {

// Written by the signal handler only; the run reads it between records.
volatile std::sig_atomic_t received = 0;

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

// The first stop signal is noted; from then on each of them has its default
// effect, so that a second one ends the process at once.
void on_stop_signal(int number) {
  received = number;
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (const int stop : stop_signals) sigaction(stop, &default_action, nullptr);
}

}  // namespace

const volatile std::sig_atomic_t* stop_signal() { return &received; }

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (const int number : stop_signals) sigaction(number, &action, nullptr);
}

}  // namespace ecflux::driver
