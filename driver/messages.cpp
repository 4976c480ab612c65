#include "driver/messages.h"

#include <cstdio>

namespace ecflux::driver {

namespace {

MessageStream destination = MessageStream::standard_error;

}  // namespace

void send_messages_to(MessageStream stream) { destination = stream; }

void print_line(const std::string& line) {
  if (destination == MessageStream::none) return;
  std::FILE* stream = destination == MessageStream::standard_error ? stderr : stdout;
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  if (stream == stdout) std::fflush(stdout);
}

int report_failure(const textio::Failure& failure) {
  print_line(textio::fatal_message(failure));
  if (!failure.hint.empty()) print_line("ecflux: " + failure.hint);
  return 1;
}

}  // namespace ecflux::driver
