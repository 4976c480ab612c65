#pragma once

// The guard against a run that would lose data: an output that would replace
// an input or another output, a staged file that would stand where an input
// is, or a standard stream that is one of the run's files. ecflux checks it
// before a run writes anything, ecflux-plot before it draws.

#include <string>
#include <string_view>

#include "base/result.h"

namespace ecflux::report {

// The names that a run's configuration gives or implies.
struct RunFileNames {
  std::string_view data_file;
  std::string_view configuration_file;
  std::string_view results_file;
};

// Refuses, with one line naming both files, a run in which an output of
// either program (every file of the output table, whether or not this run
// writes it) would be an input or another output, or in which an input is
// where an output is written aside until its run completes.
base::Status check_files_are_distinct(const RunFileNames& names);

// Refuses a standard stream (standard output or standard error, by its
// descriptor) that is a regular file and one of the run's inputs or outputs:
// progress lines or messages written there would mix with its records, or
// be lost when a completed run replaces it.
base::Status check_standard_stream(int descriptor, const RunFileNames& names);

}  // namespace ecflux::report
