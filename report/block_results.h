#pragma once

// The results row of a block (one 163-column record of the results file) and
// its progress line on standard output.

#include <string_view>

#include "flux/time_shifts.h"
#include "stats/block_statistics.h"
#include "stats/cumulative_flux.h"
#include "textio/output_file.h"

namespace ecflux::report {

inline constexpr int results_unit = 9;

// The results file's header record: each label right-justified in its field.
inline constexpr std::string_view results_header =
    "        TIME   X-VEL   Y-VEL   Z-VEL   Z-STD     MAG MAG-STD   DIR      T(K) T-STD   "
    "FLUX-L   FLUX-R   LINMIN   RUNMIN   LINMAX   RUNMAX    SLMIN SRMIN SLMAX SRMAX";

// The results row (velocities and their spreads in cm/s), then the progress
// line: mean time and the mean-removed, linear and running-mean fluxes.
// Standard output is flushed so that the progress of a long run shows.
void write_block_results(const stats::BlockStatistics& statistics,
                         const stats::ZeroShiftFluxes& zero_shift, const flux::ShiftSearch& search,
                         textio::OutputFile& results, textio::OutputFile& screen);

}  // namespace ecflux::report
