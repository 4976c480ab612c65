#pragma once

// The command line of ecflux and ecflux-plot: options, then at most one run
// folder. Without arguments a program works in the working directory, as it
// always has.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace ecflux::input {

// Quality control of the samples before the block statistics: each option
// changes the samples (or adds what the run reports), so that every output
// reflects it. Without any of them a run is the plain run, bit for bit.
struct QualityOptions {
  enum class Rotation { none, double_rotation, planar };

  bool despike = false;                // --despike
  bool missing = false;                // --missing given: NaN, Inf and the fill values are missing
  std::vector<double> fill_values;     // --missing VALUE, each
  double missing_allowance = 10.0;     // --missing-allowance PERCENT
  Rotation rotation = Rotation::none;  // --rotate double|planar
  bool uncertainty = false;            // --uncertainty
  bool spectra = false;                // --spectra
  double density = 1025.0;             // --density, kg/m³
  double heat_capacity = 4008.0;       // --heat-capacity, J/(kg K)

  // Whether the samples of a block are changed before its statistics.
  bool changes_samples() const { return despike || missing || rotation != Rotation::none; }
};

struct CommandLine {
  bool help = false;       // --help, -h
  bool version = false;    // --version
  bool check = false;      // --check
  bool csv = false;        // --csv
  bool durable = false;    // --durable
  bool strict = false;     // --strict
  QualityOptions quality;  // --qc and the options of quality control
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
  bool quality = false;  // the options of quality control
};

// Reads the arguments after the program's name. An option the program does
// not take, or a second folder, is refused with the reason (the program then
// prints its usage and ends with status 2). "--" ends the options: what
// follows is a folder even when it begins with "-".
base::Result<CommandLine> parse_command_line(std::span<const char* const> arguments,
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
std::optional<ImmediateAnswer> immediate_answer(const base::Result<CommandLine>& line,
                                                std::string_view program, std::string_view usage);

// Makes the run folder the working directory, so that the run happens there
// exactly as if started in it. A folder that does not exist, is not a folder
// or may not be entered is refused with its full path.
base::Status enter_run_folder(const std::string& folder);

}  // namespace ecflux::input
