#pragma once

// The lines that ecflux writes on standard error: its failures and warnings.
// Text from files (names, a configuration's fields) is shown with its control
// characters escaped.

#include <functional>
#include <string>

#include "base/result.h"
#include "base/warning.h"

namespace ecflux::driver {

// A line of the program's own: its name, then the text.
std::string program_line(std::string_view text);

// Where the lines go: standard error, unless it is a file of the run.
enum class MessageStream { standard_error, standard_output, none };
void send_messages_to(MessageStream stream);

// While it lives, every line goes to a caller in the same process instead of
// a stream, whatever send_messages_to chooses meanwhile; then the lines go
// where they went before.
class MessagesTaken {
 public:
  explicit MessagesTaken(std::function<void(const std::string& line)> taker);
  ~MessagesTaken();
  MessagesTaken(const MessagesTaken&) = delete;
  MessagesTaken& operator=(const MessagesTaken&) = delete;

 private:
  MessageStream earlier_destination_;
  std::function<void(const std::string& line)> earlier_taker_;
};

// One line on standard error (or where send_messages_to sent the lines).
void print_line(const std::string& line);

// A line of the program's own on standard error: its name, then the text.
void print_note(std::string_view text);

// A warning's line: "ecflux: warning: " and its text.
std::string warning_line(const base::Warning& warning);
void print_warning(const base::Warning& warning);

// The failure's one line, and its hint on a second line where it has one.
// Returns the exit status of a failure, 1.
int report_failure(const base::Failure& failure);

}  // namespace ecflux::driver
