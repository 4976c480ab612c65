#pragma once

// The command line of ecflux and ecflux-plot: options, then at most one run
// folder. Without arguments a program works in the working directory, as it
// always has.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/result.h"

namespace ecflux::input {

struct CommandLine {
  bool help = false;       // --help, -h
  bool version = false;    // --version
  bool check = false;      // --check
  bool csv = false;        // --csv
  bool durable = false;    // --durable
  bool strict = false;     // --strict
  std::string run_folder;  // empty: the working directory
  // The program's name and every argument as given, for the record of the
  // run: the program fills them in.
  std::vector<std::string> words;
};

// The options that a program takes besides --help, --version and "--".
struct ProgramOptions {
  bool check = false;
  bool csv = false;
  bool durable = false;
  bool strict = false;
};

// Reads the arguments after the program's name. An option the program does
// not take, or a second folder, is refused with the reason (the program then
// prints its usage and ends with status 2). "--" ends the options: what
// follows is a folder even when it begins with "-".
textio::Result<CommandLine> parse_command_line(std::span<const char* const> arguments,
                                               ProgramOptions accepted);

// What a program answers at once, without its work: after a mistake, the
// reason and the usage on standard error with status 2; for --help the usage
// and for --version "PROGRAM VERSION", on standard output with status 0.
// nullopt when the program is to go on.
struct ImmediateAnswer {
  std::string text;
  bool to_standard_error = false;
  int status = 0;
};
std::optional<ImmediateAnswer> immediate_answer(const textio::Result<CommandLine>& line,
                                                std::string_view program, std::string_view usage);

// Makes the run folder the working directory, so that the run happens there
// exactly as if started in it. A folder that does not exist, is not a folder
// or may not be entered is refused with its full path.
textio::Status enter_run_folder(const std::string& folder);

}  // namespace ecflux::input
