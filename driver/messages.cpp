#include "driver/messages.h"

#include <cstdio>

namespace ecflux::driver {

void print_line(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
}

int report_failure(const textio::Failure& failure) {
  print_line(textio::fatal_message(failure));
  if (!failure.hint.empty()) print_line("ecflux: " + failure.hint);
  return 1;
}

}  // namespace ecflux::driver
