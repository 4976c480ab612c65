#pragma once

// The signals that ask a program to stop: Ctrl-C's SIGINT, a batch
// scheduler's SIGTERM and a closed terminal's SIGHUP. A run that catches them
// stops at the next record, or as soon as a wait or a blocked system call
// returns, and replaces nothing.

#include <signal.h>

#include <csignal>
#include <iterator>

namespace ecflux::base {

inline constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

// Catches the stop signals: the first is noted, and from then on each has its
// default effect, so that a second one ends the process at once. Interrupted
// system calls are not restarted: an open of a FIFO or a read of a pipe that
// waits for data returns, so the program can stop within a bounded time.
void catch_stop_signals();

// The number of the signal that asked the program to stop; 0 while none has
// (always 0 where the signals are not caught).
int stop_signal();

inline bool stop_requested() { return stop_signal() != 0; }

// Helper threads started while an object of this class lives on the
// starting thread have the stop signals blocked from their first
// instruction, so that the signals go to the program's main thread, which
// checks for them between records and in its waits, and may be blocked in a
// read that only a signal delivered to it interrupts. (A thread that blocked
// them itself once running could take one before it did.) A signal that
// arrives meanwhile is delivered when the object goes.
class StopSignalsHeldBack {
 public:
  StopSignalsHeldBack();
  ~StopSignalsHeldBack();
  StopSignalsHeldBack(const StopSignalsHeldBack&) = delete;
  StopSignalsHeldBack& operator=(const StopSignalsHeldBack&) = delete;

 private:
  sigset_t previous_;
};

// Notes a stop as if a signal had asked for it (tests of the places that
// check for one, and a Python caller's interrupt).
void request_stop(int signal);

// For a caller in a process that has its own handlers of the stop signals
// (the Python interpreter): while it lives, the stop signals are noted as a
// run's (a second one too, without ending the process); then the caller's
// handlers and an unasked state come back.
class StopSignalScope {
 public:
  StopSignalScope();
  ~StopSignalScope();
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;

 private:
  struct sigaction earlier_[std::size(stop_signals)];
};

}  // namespace ecflux::base
