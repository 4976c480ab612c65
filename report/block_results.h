#pragma once

// The results row of a block (one 163-column record of the results file) and
// its progress line on standard output.

#include <array>

#include "flux/time_shifts.h"
#include "report/results_columns.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "textio/output_file.h"

namespace ecflux::report {

// The values of a block's report, formed with the block and written later.
struct BlockReport {
  // The results row, in the order of results_columns.
  ResultsRow row;
  // Mean time and the mean-removed, linear and running-mean fluxes.
  std::array<double, 4> line;
};

// Velocities and their spreads in cm/s (the mean, or the square root of the
// variance, times 100); the temperature's spread as the square root alone.
BlockReport make_block_report(const stats::BlockStatistics& statistics,
                              const stats::ZeroShiftFluxes& zero_shift,
                              const flux::ShiftSearch& search);

// The results row, then the progress line. Both files are flushed, so that
// the progress of a long run shows as it happens.
void write_block_results(const BlockReport& report, textio::OutputFile& results,
                         textio::OutputFile& screen);
// The results row alone, for a run whose caller shows its progress itself.
void write_results_row(const BlockReport& report, textio::OutputFile& results);

}  // namespace ecflux::report
