#pragma once

// The plot of the blocks' spectra (ecflux --spectra): each block's
// frequency-weighted cospectrum over its covariance, f Co(f) / cov, and its
// ogive, against frequency on a logarithmic axis. With more blocks than
// have lines, the range of all blocks is shaded. Blocks whose ogive has not
// levelled off (blocks.csv's ogive_not_levelled) are marked.

#include "plot/block_table.h"
#include "plot/chart.h"
#include "plot/spectra_reading.h"

namespace ecflux::plot {

// `blocks`: the run's blocks, for the ogive flag of each.
Chart spectra_chart(const BlockSpectra& spectra, const BlockTable& blocks);

}  // namespace ecflux::plot
