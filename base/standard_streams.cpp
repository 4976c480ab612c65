#include "base/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

namespace ecflux::base {
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

void ignore_signals_of_failed_writes() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

Status finish_standard_output() {
  std::cout.flush();
  const bool failed = !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
  if (!failed) return {};
  return IoFailure{IoCondition::write_error, 6, "/dev/stdout"};
}

}  // namespace ecflux::base
