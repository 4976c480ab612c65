#include "input/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ecflux::input {

textio::Result<CommandLine> parse_command_line(std::span<const char* const> arguments,
                                               ProgramOptions accepted) {
  CommandLine line;
  bool options_ended = false;
  for (const char* argument : arguments) {
    const std::string_view text = argument;
    if (!options_ended && text.size() > 1 && text.front() == '-') {
      if (text == "--") {
        options_ended = true;
      } else if (text == "--help" || text == "-h") {
        line.help = true;
      } else if (text == "--version") {
        line.version = true;
      } else if (text == "--check" && accepted.check) {
        line.check = true;
      } else if (text == "--csv" && accepted.csv) {
        line.csv = true;
      } else if (text == "--durable" && accepted.durable) {
        line.durable = true;
      } else if (text == "--strict" && accepted.strict) {
        line.strict = true;
      } else {
        return textio::Refusal{"unknown option " + std::string(text)};
      }
      continue;
    }
    if (!line.run_folder.empty()) {
      return textio::Refusal{"one run folder at a time: " + line.run_folder + " and " +
                             std::string(text)};
    }
    if (text.empty()) return textio::Refusal{"an empty run folder name"};
    line.run_folder = text;
  }
  return line;
}

std::optional<ImmediateAnswer> immediate_answer(const textio::Result<CommandLine>& line,
                                                std::string_view program, std::string_view usage) {
  if (!line.ok()) {
    return ImmediateAnswer{
        std::string(program) + ": " + line.failure().message() + "\n" + std::string(usage), true,
        2};
  }
  if (line.value().help) return ImmediateAnswer{std::string(usage), false, 0};
  if (line.value().version) {
    return ImmediateAnswer{std::string(program) + " " ECFLUX_VERSION "\n", false, 0};
  }
  return std::nullopt;
}

textio::Status enter_run_folder(const std::string& folder) {
  const std::string path = textio::absolute_path(folder);
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    return textio::Refusal{"the run folder " + path +
                           (errno == ENOENT ? " does not exist" : " cannot be reached") +
                           "; nothing was read or written"};
  }
  if (!S_ISDIR(status.st_mode)) {
    return textio::Refusal{"the run folder " + path +
                           " is not a folder; nothing was read or written"};
  }
  if (::chdir(folder.c_str()) != 0) {
    return textio::Refusal{"the run folder " + path +
                           " may not be entered; nothing was read or written"};
  }
  return {};
}

}  // namespace ecflux::input
