#include "driver/messages.h"

#include <cstdio>
#include <utility>

#include "base/printable.h"

namespace ecflux::driver {
namespace {

MessageStream destination = MessageStream::standard_error;
std::function<void(const std::string&)> message_taker;

}  // namespace

void send_messages_to(MessageStream stream) { destination = stream; }

MessagesTaken::MessagesTaken(std::function<void(const std::string& line)> taker)
    : earlier_destination_(destination), earlier_taker_(std::exchange(message_taker, taker)) {}

MessagesTaken::~MessagesTaken() {
  destination = earlier_destination_;
  message_taker = std::move(earlier_taker_);
}

void print_line(const std::string& line) {
  if (message_taker) {
    message_taker(base::printable(line));
    return;
  }
  if (destination == MessageStream::none) return;
  std::FILE* stream = destination == MessageStream::standard_error ? stderr : stdout;
  const std::string shown = base::printable(line);
  std::fputs(shown.c_str(), stream);
  std::fputc('\n', stream);
  if (stream == stdout) std::fflush(stdout);
}

std::string warning_line(const base::Warning& warning) {
  return program_line("warning: " + warning.text);
}

std::string program_line(std::string_view text) {
  return std::string(base::program_name) + ": " + std::string(text);
}

void print_note(std::string_view text) { print_line(program_line(text)); }

void print_warning(const base::Warning& warning) { print_line(warning_line(warning)); }

int report_failure(const base::Failure& failure) {
  print_line(base::fatal_message(failure));
  if (!failure.hint.empty()) print_note(failure.hint);
  return 1;
}

}  // namespace ecflux::driver
