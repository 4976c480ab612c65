#include "textio/standard_streams.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace ecflux::textio {
namespace {

void occupy(int descriptor, int flags) {
  if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) return;
  // The lowest free number is the closed descriptor, as long as the lower
  // ones are open, which the order of the calls makes sure of.
  const int opened = ::open("/dev/null", flags);
  if (opened >= 0 && opened != descriptor) {
    ::dup2(opened, descriptor);
    ::close(opened);
  }
}

}  // namespace

void occupy_closed_standard_streams() {
  occupy(STDIN_FILENO, O_RDONLY);
  occupy(STDOUT_FILENO, O_RDONLY);
  occupy(STDERR_FILENO, O_WRONLY);
}

void leave_stop_signals_to_the_main_thread() {
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop_signals, number);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
}

void ignore_signals_of_failed_writes() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace ecflux::textio
