#pragma once

// The rows of the two cumulative-flux files, "cumflux.out" and "CFSHIFT.out".

#include "stats/cumulative_flux.h"
#include "textio/output_file.h"

namespace ecflux::report {

// One record per row: TIME, CUMFLUX, COVAR (the product of the two
// fluctuations), ZPRIME and O2PRIME, each 1X,F12.8.
void write_series_rows(textio::OutputFile& file, const stats::SeriesRows& rows);

}  // namespace ecflux::report
