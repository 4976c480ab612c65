#include "input/command_line.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "textio/numbers.h"

namespace ecflux::input {

namespace {

// A number given to an option: the whole text, finite.
std::optional<double> option_number(std::string_view text) {
  const auto number = textio::parse_number(text);
  if (!number || !std::isfinite(*number)) return std::nullopt;
  return number;
}

// The options of quality control that take no value; --qc is the field's
// usual set.
bool quality_flag(std::string_view name, QualityOptions& quality) {
  if (name == "--despike") {
    quality.despike = true;
  } else if (name == "--uncertainty") {
    quality.uncertainty = true;
  } else if (name == "--spectra") {
    quality.spectra = true;
  } else if (name == "--qc") {
    quality.despike = true;
    quality.missing = true;
    if (std::find(quality.fill_values.begin(), quality.fill_values.end(), -9999.0) ==
        quality.fill_values.end()) {
      quality.fill_values.push_back(-9999.0);
    }
    if (quality.rotation == QualityOptions::Rotation::none) {
      quality.rotation = QualityOptions::Rotation::double_rotation;
    }
    quality.uncertainty = true;
    quality.spectra = true;
  } else {
    return false;
  }
  return true;
}

// The options of quality control that take a value (as the next argument,
// or after "="): the refusal when the value is not one the option takes.
std::optional<std::string> quality_value(std::string_view name, std::string_view value,
                                         QualityOptions& quality) {
  const auto number = option_number(value);
  const std::string refusal =
      std::string(name) + " takes a number, not \"" + std::string(value) + "\"";
  if (name == "--missing") {
    if (!number) return refusal;
    quality.missing = true;
    quality.fill_values.push_back(*number);
  } else if (name == "--missing-allowance") {
    if (!number || *number < 0.0 || *number > 100.0) {
      return "--missing-allowance takes a percentage from 0 to 100, not \"" + std::string(value) +
             "\"";
    }
    quality.missing_allowance = *number;
  } else if (name == "--rotate") {
    if (value == "double") {
      quality.rotation = QualityOptions::Rotation::double_rotation;
    } else if (value == "planar") {
      quality.rotation = QualityOptions::Rotation::planar;
    } else {
      return "--rotate takes double or planar, not \"" + std::string(value) + "\"";
    }
  } else if (name == "--density" || name == "--heat-capacity") {
    if (!number || !(*number > 0.0)) {
      return std::string(name) + " takes a number above zero, not \"" + std::string(value) + "\"";
    }
    (name == "--density" ? quality.density : quality.heat_capacity) = *number;
  }
  return std::nullopt;
}

bool takes_value(std::string_view name) {
  return name == "--missing" || name == "--missing-allowance" || name == "--rotate" ||
         name == "--density" || name == "--heat-capacity";
}

}  // namespace

base::Result<CommandLine> parse_command_line(std::span<const char* const> arguments,
                                             ProgramOptions accepted) {
  CommandLine line;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view text = arguments[i];
    if (!options_ended && text.size() > 1 && text.front() == '-') {
      const std::size_t equals = text.find('=');
      const std::string_view name = text.substr(0, equals);
      if (accepted.quality && takes_value(name)) {
        std::string_view value;
        if (equals != std::string_view::npos) {
          value = text.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
          value = arguments[++i];  // also a value that begins with "-", such as -9999
        } else {
          return base::Refusal{std::string(name) + " needs a value"};
        }
        if (auto refused = quality_value(name, value, line.quality)) {
          return base::Refusal{*refused};
        }
        continue;
      }
      if (accepted.quality && quality_flag(text, line.quality)) continue;
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
        return base::Refusal{"unknown option " + std::string(text)};
      }
      continue;
    }
    if (!line.run_folder.empty()) {
      return base::Refusal{"one run folder at a time: " + line.run_folder + " and " +
                           std::string(text)};
    }
    if (text.empty()) return base::Refusal{"an empty run folder name"};
    line.run_folder = text;
  }
  return line;
}

std::optional<ImmediateAnswer> immediate_answer(const base::Result<CommandLine>& line,
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

base::Status enter_run_folder(const std::string& folder) {
  const std::string path = base::absolute_path(folder);
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    return base::Refusal{"the run folder " + path +
                         (errno == ENOENT ? " does not exist" : " cannot be reached") +
                         "; nothing was read or written"};
  }
  if (!S_ISDIR(status.st_mode)) {
    return base::Refusal{"the run folder " + path +
                         " is not a folder; nothing was read or written"};
  }
  if (::chdir(folder.c_str()) != 0) {
    return base::Refusal{"the run folder " + path +
                         " may not be entered; nothing was read or written"};
  }
  return {};
}

}  // namespace ecflux::input
