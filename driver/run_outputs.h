#pragma once

// The output files of a run, written aside and put in place together when
// the run completes; what an earlier run left in the folder.

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "input/configuration.h"
#include "report/output_files.h"
#include "textio/output_file.h"

namespace ecflux::driver {

// The run's output files, standard output among them, by role; the CSV
// files only with --csv. Each file but standard output is written aside and
// replaces the earlier run's file only when the whole run is done.
class OutputFiles {
 public:
  // Opens the files in the order of the table; the first that cannot be
  // opened is the failure, and the files opened before it are abandoned.
  // Standard output only with `progress_lines`.
  static base::Result<OutputFiles> open(const input::Configuration& config, bool csv, bool spectra,
                                        bool progress_lines = true);

  bool has(report::OutputRole role) const;
  textio::OutputFile& operator[](report::OutputRole role);

  // The first failure in the order in which the files are written.
  base::Status first_failure() const;
  // Writes out and closes every file, with `durable` on the device; the
  // first failure in the order of writing.
  base::Status finish(bool durable);
  // Puts every staged file in place of the earlier run's file, in the order
  // of the table; with `durable`, the folders' entries too. `replaced` gets
  // the files put in place, which after a failure are the ones that hold new
  // results.
  base::Status put_in_place(bool durable, std::vector<std::string>& replaced);
  // The staged files, for a run that must end without closing its files.
  std::vector<std::string> staged_paths() const;

 private:
  std::vector<std::optional<textio::OutputFile>> files_;  // in the order of the table
};

// Whether a run with these options could open its outputs aside: the
// refusals open would give, in its order, with nothing created.
base::Status check_outputs_can_be_written(const input::Configuration& config, bool csv,
                                          bool spectra);

// Whether the folder holds any output of an earlier run (not the plots):
// what a failed run's last line tells the user they still have.
bool earlier_results_exist(const std::string& results_file_name);

// Removes the staged files that a run that did not complete left behind;
// the absolute paths of those removed.
std::vector<std::string> remove_leftovers(const input::Configuration& config);

// Removes the CSV files of an earlier run that a completed run did not write
// (it had no --csv, or no --spectra): they describe other results.
void remove_stale_csv_files(bool csv, bool spectra);

}  // namespace ecflux::driver
