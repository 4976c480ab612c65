#include "base/stop_signals.h"

#include <pthread.h>

namespace ecflux::base {
namespace {

// Written by the signal handler only (and request_stop); read anywhere.
volatile std::sig_atomic_t received = 0;

// Notes the signal and keeps catching: a caller in the same process decides
// what a second one does.
void on_stop_signal_in_scope(int number) { received = number; }

void on_stop_signal(int number) {
  received = number;
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  for (const int stop : stop_signals) sigaction(stop, &default_action, nullptr);
}

}  // namespace

void catch_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART
  for (const int number : stop_signals) sigaction(number, &action, nullptr);
}

int stop_signal() { return received; }

void request_stop(int signal) { received = signal; }

StopSignalScope::StopSignalScope() {
  received = 0;
  struct sigaction action {};
  action.sa_handler = on_stop_signal_in_scope;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(stop_signals); ++i) {
    sigaction(stop_signals[i], &action, &earlier_[i]);
  }
}

StopSignalScope::~StopSignalScope() {
  for (std::size_t i = 0; i < std::size(stop_signals); ++i) {
    sigaction(stop_signals[i], &earlier_[i], nullptr);
  }
  received = 0;
}

StopSignalsHeldBack::StopSignalsHeldBack() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : stop_signals) sigaddset(&set, number);
  pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

StopSignalsHeldBack::~StopSignalsHeldBack() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace ecflux::base
