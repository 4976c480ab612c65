#pragma once

// The lines that ecflux writes on standard error: its failures and warnings.

#include <string>

#include "textio/result.h"

namespace ecflux::driver {

// Where the lines go: standard error, unless it is a file of the run.
enum class MessageStream { standard_error, standard_output, none };
void send_messages_to(MessageStream stream);

// One line on standard error (or where send_messages_to sent the lines).
void print_line(const std::string& line);

// The failure's one line, and its hint on a second line where it has one.
// Returns the exit status of a failure, 1.
int report_failure(const textio::Failure& failure);

}  // namespace ecflux::driver
